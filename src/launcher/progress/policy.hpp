// When a start shows its progress window, and what it shows: only for real
// work that is taking a while, so that a start on an intact installation or a
// small repair never flashes a window. Written over any clock and display, so
// that tests can drive it through simulated time.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "install/sync_progress.hpp"
#include "sys/ui/progress_window.hpp"

namespace aerolith::launcher {

// More than this to write in one run, and at least kProgressDelay passed.
inline constexpr std::uint64_t kProgressWorthShowing = 16 * 1024 * 1024;
inline constexpr std::chrono::milliseconds kProgressDelay{500};
inline constexpr std::chrono::milliseconds kProgressPollPeriod{80};

std::wstring_view activityText(install::SyncActivity activity);

// The bar's position for `written` of `toWrite` bytes, in sys::kProgressSteps.
std::uint32_t progressStep(std::uint64_t written, std::uint64_t toWrite);

struct ProgressView {
  std::wstring_view text;
  std::uint32_t step;

  bool operator==(const ProgressView&) const = default;
};

class ProgressPolicy {
 public:
  // What the window shows `elapsed` after the start, or nothing while it stays
  // away. It appears once more than kProgressWorthShowing bytes are to be
  // written and some of them are still to come, kProgressDelay after the start
  // at the earliest; from then on it stays, and its bar never moves back, not
  // even when the run finds more to write.
  std::optional<ProgressView> view(std::chrono::nanoseconds elapsed,
                                   const install::SyncProgressSnapshot& progress);

 private:
  bool showing_ = false;
  std::uint32_t step_ = 0;
};

// What the watcher and whoever closes its window tell each other. A close
// that comes before the window ever began to show need not wait for the
// watcher: the watcher, seeing `closing`, then never shows it.
struct WatchFlags {
  std::atomic<bool> closing{false};  // set by the close, never cleared
  std::atomic<bool> showing{false};  // set by the watcher just before the first show
};

// Polls `progress` every kProgressPollPeriod from this call on and shows what
// the policy says on `display`, until `flags.closing` is set; then closes
// `display`. Clock: now(). Display: show(text, step), wait(period), close();
// wait() is where a window handles its messages, and returns early once closing.
template <typename Clock, typename Display>
void watchProgress(Clock& clock, const install::SyncProgress& progress, WatchFlags& flags,
                   Display& display) {
  const auto start = clock.now();
  ProgressPolicy policy;
  while (!flags.closing.load()) {
    if (const std::optional<ProgressView> shown =
            policy.view(clock.now() - start, progress.read())) {
      // Announced before the last look at `closing`, so that a close either
      // waits for this window or keeps it from showing.
      flags.showing.store(true);
      if (flags.closing.load()) break;
      display.show(shown->text, shown->step);
    }
    display.wait(kProgressPollPeriod);
  }
  display.close();
}

}  // namespace aerolith::launcher
