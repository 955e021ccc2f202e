// Another program's passing hold on an entry is waited out: a virus scanner,
// the search indexer or a backup agent opens a file (above all one just
// written) for a moment. A step that meets a sharing violation or a name whose
// deletion is pending is tried again after a growing pause, for at most one
// second per entry in all; a longer hold fails the step as it would at once.
#pragma once

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "diag/progress.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

// The clock the wait is measured and spent by.
struct SteadyClock {
  using time_point = std::chrono::steady_clock::time_point;
  time_point now() const { return std::chrono::steady_clock::now(); }
  void sleep(std::chrono::milliseconds pause) const { std::this_thread::sleep_for(pause); }
};

// One per entry: every step on the entry draws on the same second.
template <typename Clock = SteadyClock>
class LockWait {
 public:
  static constexpr std::chrono::milliseconds kBound{1000};
  static constexpr std::chrono::milliseconds kFirstPause{10};

  // Each pause is noted as `progress`, which must outlive this object.
  explicit LockWait(diag::Progress& progress, Clock clock = {})
      : progress_(progress), clock_(clock) {}

  // Runs `step`, which returns a base::Result, until it meets no passing
  // hold or the entry's second is spent; returns its last result. Each pause
  // is a sign of progress for the watchdog.
  template <typename Step>
  auto run(Step step) {
    for (;;) {
      auto result = step();
      if (result || !sys::isTransientLock(result.error()) || !pause()) return result;
    }
  }

 private:
  bool pause() {
    const typename Clock::time_point now = clock_.now();
    if (!locked_) deadline_ = now + kBound, locked_ = true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - now);
    if (left <= std::chrono::milliseconds::zero()) return false;
    clock_.sleep(std::min(nextPause_, left));
    nextPause_ *= 2;
    progress_.note();
    return true;
  }

  diag::Progress& progress_;
  Clock clock_;
  bool locked_ = false;  // since deadline_ - kBound
  typename Clock::time_point deadline_{};
  std::chrono::milliseconds nextPause_ = kFirstPause;
};

}  // namespace aerolith::install
