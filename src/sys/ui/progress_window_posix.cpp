#include "sys/ui/progress_window_posix.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "sys/internal/posix_io.hpp"
#include "sys/ui/desktop_posix.hpp"
#include "sys/ui/progress_window.hpp"
#include "text/utf.hpp"

extern char** environ;

namespace aerolith::sys {
namespace {

constexpr auto kZenityGrace = std::chrono::seconds(1);
constexpr auto kReapPoll = std::chrono::milliseconds(10);

// What is on screen, for hideProgressWindowsNow() in a signal handler.
std::atomic<pid_t> shownZenity{0};
std::atomic<bool> shownLine{false};
std::atomic<bool> barred{false};

// Through a socket rather than a pipe, so that a send to a window that has
// gone fails with EPIPE instead of raising SIGPIPE in the whole process.
void sendAll(int socket, std::string_view data) {
  while (!data.empty()) {
    const ssize_t sent = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return;
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
}

bool reaped(pid_t pid, int options) {
  int status = 0;
  pid_t result;
  while ((result = ::waitpid(pid, &status, options)) < 0 && errno == EINTR) {
  }
  return result != 0;  // the child's id, or an error: nothing left to wait for
}

}  // namespace

unsigned progressPercent(std::uint32_t step) {
  return static_cast<unsigned>(std::uint64_t{step} * 100 / kProgressSteps);
}

ZenityProgress::~ZenityProgress() { close(); }

bool ZenityProgress::start(const char* program, std::string_view caption, std::string_view text,
                           unsigned percent) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  std::string title = fmt::format("--title={}", caption);
  std::vector<char*> argv{const_cast<char*>(program),
                          const_cast<char*>("--progress"),
                          title.data(),
                          const_cast<char*>("--width=400"),
                          const_cast<char*>("--auto-close"),
                          const_cast<char*>("--no-cancel"),
                          nullptr};
  const int error = posix_spawnp(&pid_, program, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  if (error != 0) {
    ::close(ends[0]);
    pid_ = 0;
    return false;
  }
  input_ = ends[0];
  text_.clear();
  percent_ = 0;
  show(text, percent);
  return true;
}

void ZenityProgress::show(std::string_view text, unsigned percent) {
  if (input_ < 0) return;
  std::string update;
  if (text != text_) {
    text_.assign(text);
    update += fmt::format("# {}\n", text_);
  }
  percent = std::min(percent, 99u);
  if (percent != percent_) {
    percent_ = percent;
    update += fmt::format("{}\n", percent_);
  }
  sendAll(input_, update);
}

void ZenityProgress::close() {
  if (input_ < 0) return;
  ::close(input_);
  input_ = -1;
  const auto deadline = std::chrono::steady_clock::now() + kZenityGrace;
  while (!reaped(pid_, WNOHANG)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGTERM);
      reaped(pid_, 0);
      break;
    }
    std::this_thread::sleep_for(kReapPoll);
  }
  pid_ = 0;
}

void TerminalLine::show(std::string_view text, unsigned percent) {
  if (shown_ && text == text_ && percent == percent_) return;
  shown_ = true;
  text_.assign(text);
  percent_ = percent;
  const std::string line = fmt::format("\r{} {}%\x1b[K", text_, percent_);
  // The terminal line is a courtesy: a terminal gone away changes nothing.
  static_cast<void>(writeAll(fd_, line.data(), line.size()));
}

void TerminalLine::erase() {
  if (!shown_) return;
  shown_ = false;
  static_cast<void>(writeAll(fd_, kEraseTerminalLine.data(), kEraseTerminalLine.size()));
}

struct ProgressWindow::State {
  enum class Shown { kNotYet, kZenity, kLine, kNothing };

  explicit State(std::string title) : caption(std::move(title)) {}

  const std::string caption;
  Shown shown = Shown::kNotYet;
  ZenityProgress zenity;
  TerminalLine line{STDERR_FILENO};
  std::mutex mutex;
  std::condition_variable woken;
  bool stopWaiting = false;

  void open(std::string_view text, unsigned percent) {
    shown = Shown::kNothing;
    if (barred.load()) return;
    if (hasDesktop() && zenity.start("zenity", caption, text, percent)) {
      shown = Shown::kZenity;
      // Published before the last look at the bar, so that a crash either
      // finds the window to end or keeps it from staying.
      shownZenity.store(zenity.pid());
      if (barred.load()) close();
      return;
    }
    if (::isatty(STDERR_FILENO) == 1) {
      shown = Shown::kLine;
      shownLine.store(true);
      line.show(text, percent);
    }
  }

  void close() {
    if (shown == Shown::kZenity) {
      shownZenity.store(0);
      zenity.close();
    } else if (shown == Shown::kLine && shownLine.exchange(false)) {
      line.erase();
    }
    shown = Shown::kNothing;
  }
};

ProgressWindow::ProgressWindow(std::wstring_view caption)
    : state_(std::make_unique<State>(text::toUtf8(caption))) {}

ProgressWindow::~ProgressWindow() { state_->close(); }

void ProgressWindow::show(std::wstring_view text, std::uint32_t step) {
  const std::string utf8 = text::toUtf8(text);
  const unsigned percent = progressPercent(step);
  switch (state_->shown) {
    case State::Shown::kNotYet:
      state_->open(utf8, percent);
      break;
    case State::Shown::kZenity:
      state_->zenity.show(utf8, percent);
      break;
    case State::Shown::kLine:
      if (!barred.load()) state_->line.show(utf8, percent);
      break;
    case State::Shown::kNothing:
      break;
  }
}

void ProgressWindow::close() { state_->close(); }

void ProgressWindow::wait(std::chrono::milliseconds period) {
  std::unique_lock lock(state_->mutex);
  state_->woken.wait_for(lock, period, [this] { return state_->stopWaiting; });
}

void ProgressWindow::stopWaiting() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopWaiting = true;
  }
  state_->woken.notify_all();
}

void hideProgressWindowsNow() {
  barred.store(true);
  if (const pid_t zenity = shownZenity.exchange(0); zenity != 0) ::kill(zenity, SIGTERM);
  if (shownLine.exchange(false)) {
    static_cast<void>(
        writeAll(STDERR_FILENO, kEraseTerminalLine.data(), kEraseTerminalLine.size()));
  }
}

}  // namespace aerolith::sys
