#include "launcher/progress/watcher.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "launcher/progress/policy.hpp"
#include "launcher/texts/messages.hpp"
#include "sys/ui/progress_window.hpp"

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

WatchFlags flags;
// Never freed: the watcher's thread may still poll after the last close
// has returned, and a late close may still reach it.
std::atomic<Watcher*> current{nullptr};

void watch(Watcher& watcher) {
  SteadyClock clock;
  watchProgress(clock, watcher.progress, flags, watcher.window);
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
  flags.closing.store(true);
  Watcher* watcher = current.load();
  if (watcher == nullptr || !flags.showing.load()) return;
  watcher->window.stopWaiting();
  std::unique_lock lock(watcher->mutex);
  if (!watcher->closedChanged.wait_for(lock, kCloseWait, [watcher] { return watcher->closed; }))
    sys::hideProgressWindowsNow();
}

}  // namespace aerolith::launcher
