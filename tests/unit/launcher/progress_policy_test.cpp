// When the progress window appears and what it shows, on simulated time: only
// for real work that takes a while, with a bar that never moves back.
#include "launcher/progress/policy.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

#include "launcher/texts/messages.hpp"

namespace aerolith::launcher {
namespace {

using namespace std::chrono_literals;
using install::SyncActivity;
using install::SyncProgressSnapshot;

constexpr std::uint64_t kMiB = 1024 * 1024;

TEST(ProgressPolicy, FirstAppearance) {
  struct Case {
    const char* what;
    std::chrono::milliseconds elapsed;
    std::uint64_t written, toWrite;
    std::optional<std::uint32_t> step;  // nothing: the window stays away
  };
  const Case cases[] = {
      {"intact start", 5s, 0, 0, std::nullopt},
      {"small repair", 5s, 2 * kMiB, 10 * kMiB, std::nullopt},
      {"exactly the threshold", 5s, 0, 16 * kMiB, std::nullopt},
      {"a byte more", 5s, 0, 16 * kMiB + 1, 0},
      {"large but too early", 499ms, 0, 1024 * kMiB, std::nullopt},
      {"large at the delay", 500ms, 0, 1024 * kMiB, 0},
      {"all written already", 900ms, 40 * kMiB, 40 * kMiB, std::nullopt},
      {"halfway", 2s, 512 * kMiB, 1024 * kMiB, 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgressPolicy policy;
    const auto shown = policy.view(c.elapsed, {c.written, c.toWrite, SyncActivity::kInstall});
    ASSERT_EQ(shown.has_value(), c.step.has_value());
    if (shown) {
      EXPECT_EQ(*shown, (ProgressView{messages::kInstalling, *c.step}));
    }
  }
}

TEST(ProgressPolicy, OnceShownStaysAndItsBarNeverMovesBack) {
  ProgressPolicy policy;
  const auto at = [&](std::uint64_t written, std::uint64_t toWrite) {
    return policy.view(1s, {written * kMiB, toWrite * kMiB, SyncActivity::kUpdate});
  };
  EXPECT_EQ(at(30, 40)->step, 7500u);
  EXPECT_EQ(at(30, 60)->step, 7500u);  // the run found more to write
  EXPECT_EQ(at(50, 60)->step, 8333u);
  EXPECT_EQ(at(60, 60)->step, 10000u);  // done, still shown until closed
  EXPECT_EQ(at(60, 60)->text, messages::kUpdating);
}

TEST(ProgressPolicy, StepsOfCountsBeyond32Bits) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  EXPECT_EQ(progressStep(kMax / 2, kMax), 4999u);
  EXPECT_EQ(progressStep(kMax, kMax), sys::kProgressSteps);
  EXPECT_EQ(progressStep(5, 0), 0u);
  EXPECT_EQ(progressStep(7, 5), sys::kProgressSteps);  // more written than announced
}

TEST(ProgressPolicy, ActivityFromTheFilesFoundBeforeWriting) {
  struct Case {
    std::size_t bundleFiles, found;
    SyncActivity activity;
    std::wstring_view text;
  };
  const Case cases[] = {
      {55, 0, SyncActivity::kInstall, messages::kInstalling},
      {55, 28, SyncActivity::kUpdate, messages::kUpdating},
      {55, 55, SyncActivity::kUpdate, messages::kUpdating},
      {10, 5, SyncActivity::kRepair, messages::kRepairing},  // half is not most
      {55, 1, SyncActivity::kRepair, messages::kRepairing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.found << " of " << c.bundleFiles);
    EXPECT_EQ(install::chooseActivity(c.bundleFiles, c.found), c.activity);
    EXPECT_EQ(activityText(c.activity), c.text);
  }
  EXPECT_EQ(messages::kInstalling, L"Installing Aerolith Vantor ...");
  EXPECT_EQ(messages::kUpdating, L"Updating Aerolith Vantor ...");
  EXPECT_EQ(messages::kRepairing, L"Repairing Aerolith Vantor ...");
}

// Time moves only while the display waits; `script` then plays the pass.
struct FakeClock {
  std::chrono::steady_clock::time_point current{};
  std::chrono::steady_clock::time_point now() const { return current; }
};

struct FakeDisplay {
  struct Shown {
    std::chrono::milliseconds at;
    ProgressView view;
  };
  FakeClock& clock;
  std::function<void(std::chrono::milliseconds)> script;
  std::vector<Shown> shown;
  int closes = 0;

  std::chrono::milliseconds elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock.current.time_since_epoch());
  }
  void show(std::wstring_view text, std::uint32_t step) {
    shown.push_back({elapsed(), {text, step}});
  }
  void wait(std::chrono::milliseconds period) {
    clock.current += period;
    script(elapsed());
  }
  void close() { ++closes; }
};

// The pass announces `total` bytes at once and writes them evenly over
// `writing`; the run closes the window at `end`.
struct SimulatedRun {
  SimulatedRun(std::uint64_t total, std::chrono::milliseconds writing,
               std::chrono::milliseconds end) {
    display.script = [=, this](std::chrono::milliseconds now) {
      const std::uint64_t due =
          writing.count() == 0 ? total : total * std::min(now, writing).count() / writing.count();
      progress.wrote(due - progress.read().written);
      if (now >= end) flags.closing = true;
    };
    progress.setActivity(SyncActivity::kInstall);
    progress.willWrite(total);
    watchProgress(clock, progress, flags, display);
  }

  FakeClock clock;
  FakeDisplay display{clock, {}, {}, 0};
  install::SyncProgress progress;
  WatchFlags flags;
};

TEST(WatchProgress, LongFirstInstallShowsFromTheFirstPollAfterTheDelayUntilClosed) {
  const SimulatedRun run(600 * kMiB, 4s, 5s);
  const auto& shown = run.display.shown;
  ASSERT_FALSE(shown.empty());
  EXPECT_GE(shown.front().at, kProgressDelay);
  EXPECT_LT(shown.front().at, kProgressDelay + kProgressPollPeriod);
  EXPECT_EQ(shown.back().view, (ProgressView{messages::kInstalling, sys::kProgressSteps}));
  for (std::size_t i = 1; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].at - shown[i - 1].at, kProgressPollPeriod);
    EXPECT_GE(shown[i].view.step, shown[i - 1].view.step);
  }
  EXPECT_EQ(run.display.closes, 1);
  EXPECT_TRUE(run.flags.showing);  // a close waits for the window to go
}

TEST(WatchProgress, IntactStartsSmallRepairsAndShortRunsShowNothing) {
  struct Case {
    const char* what;
    std::uint64_t total;
    std::chrono::milliseconds writing, end;
  };
  const Case cases[] = {
      {"intact start", 0, 0ms, 3s},
      {"small repair taking long", 12 * kMiB, 3s, 3s},
      {"large install done before the delay", 400 * kMiB, 400ms, 3s},
      {"run closed before the delay", 400 * kMiB, 3s, 300ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SimulatedRun run(c.total, c.writing, c.end);
    EXPECT_TRUE(run.display.shown.empty());
    EXPECT_FALSE(run.flags.showing);  // a close needs not wait for anything
    EXPECT_EQ(run.display.closes, 1);
  }
}

}  // namespace
}  // namespace aerolith::launcher
