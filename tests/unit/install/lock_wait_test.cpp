#include "install/lock_wait.hpp"

#include <gtest/gtest.h>

#include <vector>

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
  std::error_code error;
  int tries = 0;
  const auto failingUntil = [&](int last) {
    return [&, last] {
      return (error = ++tries < last ? sharingViolation : std::error_code()), tries;
    };
  };
  EXPECT_EQ(wait.run(error, failingUntil(3)), 3);  // a short hold is waited out
  EXPECT_EQ(pauses, (std::vector<milliseconds>{milliseconds(10), milliseconds(20)}));
  tries = 0;
  wait.run(error, failingUntil(100));  // the rest of the entry's second, then the failure stands
  EXPECT_EQ(error, sharingViolation);
  EXPECT_EQ(time - FakeClock::time_point(), LockWait<FakeClock>::kBound);
  EXPECT_EQ(progress.count(), pauses.size());
  tries = 0;
  error = std::make_error_code(std::errc::permission_denied);
  wait.run(error, [&] { return ++tries; });  // any other failure is not retried
  EXPECT_EQ(tries, 1);
}

}  // namespace
}  // namespace aerolith::install
