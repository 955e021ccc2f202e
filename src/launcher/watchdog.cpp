#include "launcher/watchdog.hpp"

#include <chrono>
#include <functional>
#include <thread>

#include "diag/progress.hpp"
#include "diag/trace_logger.hpp"
#include "launcher/fatal_dialog.hpp"
#include "launcher/process_state.hpp"
#include "launcher/texts/messages.hpp"
#include "launcher/watchdog_loop.hpp"

namespace aerolith::launcher {
namespace {

constexpr auto kTag = L"Main";

struct SteadyClock {
  static std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
  static void sleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
  }
};

void watch(const diag::Progress& progress) {
  SteadyClock clock;
  const WatchOutcome outcome = watchRun(clock, runningFlag, dialogFlag, progress.count());
  if (outcome != WatchOutcome::kTimedOut) return;
  AEROLITH_TRACE(kTag, L"timeout");
  showFatalAndExit(messages::kTimedOut);
}

}  // namespace

void startWatchdog(const diag::Progress& progress) {
  std::thread(watch, std::cref(progress)).detach();
}

}  // namespace aerolith::launcher
