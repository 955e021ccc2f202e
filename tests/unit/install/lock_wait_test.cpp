#include "install/lock_wait.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "support/results.hpp"

namespace aerolith::install {
namespace {
using std::chrono::milliseconds;

struct FakeClock {
  using time_point = std::chrono::steady_clock::time_point;
  time_point* time;
  std::vector<milliseconds>* pauses;
  time_point now() const { return *time; }
  void sleep(milliseconds pause) const { *time += pause, pauses->push_back(pause); }
};

TEST(LockWait, RetriesAPassingHoldWithinOneSecondPerEntryAndNothingElse) {
  const std::error_code sharingViolation(32, std::system_category());
  if (!sys::isTransientLock(sharingViolation)) GTEST_SKIP() << "no passing holds here";
  FakeClock::time_point time;
  std::vector<milliseconds> pauses;
  diag::Progress progress;
  LockWait<FakeClock> wait(progress, FakeClock{&time, &pauses});
  int tries = 0;
  const auto failingUntil = [&](int last) {
    return [&, last]() -> base::Result<int> {
      if (++tries < last) return base::fail(sharingViolation);
      return tries;
    };
  };
  EXPECT_EQ(testing::valueOf(wait.run(failingUntil(3))), 3);  // a short hold is waited out
  EXPECT_EQ(pauses, (std::vector<milliseconds>{milliseconds(10), milliseconds(20)}));
  tries = 0;
  // The rest of the entry's second, then the failure stands.
  EXPECT_EQ(testing::failureOf(wait.run(failingUntil(100))), sharingViolation);
  EXPECT_EQ(time - FakeClock::time_point(), LockWait<FakeClock>::kBound);
  EXPECT_EQ(progress.count(), pauses.size());
  tries = 0;
  const auto refused = [&]() -> base::Result<int> {
    ++tries;
    return base::fail(std::make_error_code(std::errc::permission_denied));
  };
  static_cast<void>(wait.run(refused));  // any other failure is not retried
  EXPECT_EQ(tries, 1);
}

}  // namespace
}  // namespace aerolith::install
