#include "launcher/progress_watcher.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "launcher/messages.hpp"
#include "launcher/progress_policy.hpp"
#include "sys/progress_window.hpp"

namespace aerolith::launcher {
namespace {

constexpr auto kCloseWait = std::chrono::seconds(2);

struct SteadyClock {
  static std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }
};

struct Watcher {
  explicit Watcher(const install::SyncProgress& watched) : progress(watched) {}

  const install::SyncProgress& progress;
  sys::ProgressWindow window{messages::kCaption};
  std::mutex mutex;
  std::condition_variable closedChanged;
  bool closed = false;
};

// Set by the first close; the watcher ends at its next poll.
std::atomic<bool> closing{false};
// Never freed: a late close may still reach it after its thread has ended.
std::atomic<Watcher*> current{nullptr};

void watch(Watcher& watcher) {
  SteadyClock clock;
  watchProgress(clock, watcher.progress, closing, watcher.window);
  {
    std::lock_guard lock(watcher.mutex);
    watcher.closed = true;
  }
  watcher.closedChanged.notify_all();
}

}  // namespace

void startProgressWatcher(const install::SyncProgress& progress) {
  auto* watcher = new Watcher(progress);
  current.store(watcher);
  std::thread(watch, std::ref(*watcher)).detach();
}

void closeProgressWindow() {
  closing.store(true);
  Watcher* watcher = current.load();
  if (watcher == nullptr) return;
  watcher->window.stopWaiting();
  std::unique_lock lock(watcher->mutex);
  if (!watcher->closedChanged.wait_for(lock, kCloseWait, [watcher] { return watcher->closed; }))
    sys::hideProgressWindowsNow();
}

}  // namespace aerolith::launcher
