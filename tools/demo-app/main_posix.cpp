// On POSIX the demo's "window" is its process id, and hand-offs arrive as the
// window-message signal. Every signal it waits for is blocked from the start
// and taken with sigtimedwait, so none is lost before the wait begins.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "demo_app.hpp"
#include "sys/ipc/window_message_posix.hpp"
#include "text/utf.hpp"

namespace {

using namespace aerolith;
using namespace aerolith::demo;

// A number from the range Windows gives registered messages.
constexpr std::uint32_t kHandOffMessage = 0xC123;

timespec untilDeadline(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
      deadline - std::chrono::steady_clock::now());
  const auto nanoseconds = std::max<std::int64_t>(left.count(), 0);
  return {static_cast<time_t>(nanoseconds / 1'000'000'000),
          static_cast<long>(nanoseconds % 1'000'000'000)};
}

}  // namespace

int main(int argc, char** argv) {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {sys::kWindowMessageSignal, SIGTERM, SIGINT, SIGHUP}) {
    sigaddset(&signals, signal);
  }
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const Settings settings = settingsFromEnvironment();
  const Recorder recorder(settings.record);
  std::vector<std::wstring> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(text::fromUtf8(argv[i]));
  recorder.record(startedEvent(arguments));
  if (settings.passesAtOnce()) {
    recorder.record(Event("ended").add("reason", L"lifetime"));
    return 0;
  }
  const auto presence =
      Presence::announce(recorder, static_cast<std::int32_t>(::getpid()), kHandOffMessage);
  if (!presence) return 1;

  const auto deadline = std::chrono::steady_clock::now() + settings.lifetime;
  const wchar_t* endReason = L"lifetime";
  for (;;) {
    const timespec timeout = untilDeadline(deadline);
    siginfo_t info{};
    const int signal = sigtimedwait(&signals, &info, &timeout);
    if (signal < 0) {
      if (errno == EINTR) continue;
      break;  // the lifetime is over
    }
    if (signal != sys::kWindowMessageSignal) {
      endReason = L"closed";
      break;
    }
    if (info.si_code == SI_QUEUE) {
      recorder.record(
          Event("hand-off")
              .add("message", std::int64_t{static_cast<std::uint32_t>(info.si_value.sival_int)})
              .add("sender", std::int64_t{info.si_pid}));
    }
  }
  recorder.record(Event("ended").add("reason", endReason));
  return 0;
}
