// The watchdog's clockwork, apart from what it does when it fires, written over
// any clock so that tests can drive it through a run of simulated time.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ratio>

namespace aerolith::launcher {

// 100,000,000 ticks of 100 ns: a run may go less than ten seconds without
// progress.
inline constexpr std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>> kRunLimit{
    100'000'000};
inline constexpr std::chrono::milliseconds kPollPeriod{100};
inline constexpr std::chrono::milliseconds kLongestSleep{86'400'000};

enum class WatchOutcome { kRunEnded, kDialogShowing, kTimedOut };

// Sleeps until `period` has passed on `clock`, however early each sleep wakes:
// the rest is slept again, rounded up to whole milliseconds, at most a day at a time.
template <typename Clock>
void sleepOn(Clock& clock, std::chrono::milliseconds period) {
  using TimePoint = decltype(clock.now());
  const TimePoint now = clock.now();
  const TimePoint deadline =
      now < TimePoint::max() - period ? TimePoint(now + period) : TimePoint::max();
  for (TimePoint current = now; current < deadline; current = clock.now()) {
    clock.sleepFor(
        std::min(std::chrono::ceil<std::chrono::milliseconds>(deadline - current), kLongestSleep));
  }
}

// Watches `running` from this call on: kRunEnded once it is cleared (seen at the
// next poll), otherwise, once kRunLimit has passed without `progress` changing,
// kDialogShowing or kTimedOut, after `dialog`. A change of `progress` is seen at
// a poll and the limit counts again from that poll, so a run is never ended
// sooner than kRunLimit after its last sign of life. Clock: now() and
// sleepFor(milliseconds). The launcher uses the steady clock, so that a change
// of the system time neither ends a healthy run early nor lets a stuck one go on.
template <typename Clock>
WatchOutcome watchRun(Clock& clock, const std::atomic<bool>& running,
                      const std::atomic<bool>& dialog, const std::atomic<std::uint64_t>& progress) {
  auto lastSignOfLife = clock.now();
  std::uint64_t seen = progress.load(std::memory_order_relaxed);
  if (!running.load()) return WatchOutcome::kRunEnded;
  for (;;) {
    const auto now = clock.now();
    if (const std::uint64_t current = progress.load(std::memory_order_relaxed); current != seen) {
      seen = current;
      lastSignOfLife = now;
    }
    if (now - lastSignOfLife >= kRunLimit) {
      return dialog.load() ? WatchOutcome::kDialogShowing : WatchOutcome::kTimedOut;
    }
    sleepOn(clock, kPollPeriod);
    if (!running.load()) return WatchOutcome::kRunEnded;
  }
}

}  // namespace aerolith::launcher
