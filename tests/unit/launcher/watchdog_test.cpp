// The watchdog's clockwork on a simulated clock: when it fires, what stops it,
// how progress puts it off, and how it sleeps between polls.
#include "launcher/watchdog_loop.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace aerolith::launcher {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using TimePoint = std::chrono::steady_clock::time_point;

// Time moves only while the watchdog sleeps, by as much as `lasts` says.
struct FakeClock {
  TimePoint current = TimePoint{} + 1h;
  std::function<std::chrono::nanoseconds(std::chrono::milliseconds)> lasts = [](auto asked) {
    return std::chrono::nanoseconds(asked);
  };
  std::function<void()> afterSleep = [] {};
  std::vector<std::chrono::milliseconds> sleeps;

  TimePoint now() const { return current; }
  void sleepFor(std::chrono::milliseconds duration) {
    sleeps.push_back(duration);
    current += lasts(duration);
    afterSleep();
  }
};

class WatchRun : public ::testing::Test {
 protected:
  WatchOutcome watch() {
    const TimePoint start = clock.now();
    const WatchOutcome outcome = watchRun(clock, running, dialog, progress);
    elapsed = clock.now() - start;
    return outcome;
  }

  FakeClock clock;
  std::atomic<bool> running{true};
  std::atomic<bool> dialog{false};
  std::atomic<std::uint64_t> progress{0};
  std::chrono::nanoseconds elapsed{};
};

TEST_F(WatchRun, FiresAsSoonAsTenSecondsHavePassed) {
  EXPECT_EQ(watch(), WatchOutcome::kTimedOut);
  EXPECT_EQ(elapsed, 10s);  // exactly the limit is enough
  EXPECT_EQ(clock.sleeps.size(), 100u);
  EXPECT_TRUE(running.load());  // clearing it is the caller's part
}

TEST_F(WatchRun, FiresWithinOnePollAfterTheLimitWhenSleepsRunLong) {
  clock.lasts = [](auto asked) { return std::chrono::nanoseconds(asked) + 7ms; };
  EXPECT_EQ(watch(), WatchOutcome::kTimedOut);
  EXPECT_GE(elapsed, 10s);
  EXPECT_LT(elapsed, 10s + 107ms);
}

TEST_F(WatchRun, FatalDialogOnScreenAtTheLimitEndsItSilently) {
  dialog = true;  // set long before the limit: it only matters then
  EXPECT_EQ(watch(), WatchOutcome::kDialogShowing);
  EXPECT_EQ(elapsed, 10s);
}

TEST_F(WatchRun, EndsAtTheFirstPollAfterTheRunEnded) {
  clock.afterSleep = [this] {
    if (clock.sleeps.size() == 30) running = false;
  };
  EXPECT_EQ(watch(), WatchOutcome::kRunEnded);
  EXPECT_EQ(clock.sleeps.size(), 30u);
}

// A run that keeps making progress runs as long as it needs: a minute, with
// nine seconds between signs of life.
TEST_F(WatchRun, ProgressPutsTheLimitOff) {
  clock.afterSleep = [this] {
    if (clock.sleeps.size() % 90 == 0) ++progress;
    if (clock.sleeps.size() == 600) running = false;
  };
  EXPECT_EQ(watch(), WatchOutcome::kRunEnded);
  EXPECT_EQ(elapsed, 60s);
}

// The limit counts from the poll that saw the last progress, never sooner.
TEST_F(WatchRun, FiresTenSecondsAfterTheLastProgressSeen) {
  progress = 7;  // what happened before the watchdog started does not count
  clock.afterSleep = [this] {
    if (clock.sleeps.size() <= 250) ++progress;
  };
  EXPECT_EQ(watch(), WatchOutcome::kTimedOut);
  EXPECT_EQ(elapsed, 35s);
}

TEST_F(WatchRun, RunEndedBeforeTheStartNeverSleeps) {
  running = false;
  EXPECT_EQ(watch(), WatchOutcome::kRunEnded);
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST(SleepOn, WakingEarlySleepsTheRestRoundedUpToMilliseconds) {
  FakeClock clock;
  clock.lasts = [](auto asked) { return std::chrono::nanoseconds(asked) / 2; };
  const TimePoint start = clock.now();
  sleepOn(clock, kPollPeriod);
  EXPECT_GE(clock.now() - start, kPollPeriod);
  ASSERT_GE(clock.sleeps.size(), 4u);
  // 100 ms asked, 50 slept; 50 asked, 25 slept; 25 asked, 12.5 slept; 12.5 left.
  EXPECT_THAT(std::vector(clock.sleeps.begin(), clock.sleeps.begin() + 4),
              ElementsAre(100ms, 50ms, 25ms, 13ms));
}

TEST(SleepOn, LongPeriodsAreSleptADayAtATime) {
  FakeClock clock;
  sleepOn(clock, std::chrono::days(2) + 5ms);
  EXPECT_THAT(clock.sleeps, ElementsAre(kLongestSleep, kLongestSleep, 5ms));
}

TEST(SleepOn, DeadlineSaturatesAtTheEndOfTheClock) {
  FakeClock clock;
  clock.current = TimePoint::max() - 30ms;
  sleepOn(clock, kPollPeriod);
  EXPECT_THAT(clock.sleeps, ElementsAre(30ms));
  EXPECT_EQ(clock.now(), TimePoint::max());
}

}  // namespace
}  // namespace aerolith::launcher
