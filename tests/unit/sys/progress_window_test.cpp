// The progress window's wait, on both platforms: the window's thread sleeps in
// it between polls, and a close must not wait for the poll to end.
#include "sys/ui/progress_window.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace aerolith::sys {
namespace {

using namespace std::chrono_literals;

TEST(ProgressWindow, WaitEndsAtOnceOnceStoppedAndFromThenOn) {
  ProgressWindow window(L"Aerolith Vantor");
  const auto start = std::chrono::steady_clock::now();
  window.wait(30ms);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    window.stopWaiting();
  });
  window.wait(60s);
  window.wait(60s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  stopper.join();
}

}  // namespace
}  // namespace aerolith::sys
