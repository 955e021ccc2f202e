// The Windows progress window as other programs see it: caption, text, bar
// and place, that it takes no focus and ignores the user's close, that it goes
// with close(), and the crash reporter's hide. Wine makes windows only on an X
// display: without one these tests skip, and e2e.progress runs them on one.
#include <windows.h>
// After windows.h:
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "sys/ui/progress_window.hpp"

namespace aerolith::sys {
namespace {

using namespace std::chrono_literals;

std::wstring textOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

bool windowsCanBeMade() {
  HWND window =
      CreateWindowExW(0, WC_STATICW, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (window != nullptr) DestroyWindow(window);
  return window != nullptr;
}

TEST(ProgressWindow, ShowsCaptionTextAndBarCentredUntilClosed) {
  if (!windowsCanBeMade()) GTEST_SKIP() << "no display to make windows on";
  ProgressWindow window(L"Aerolith Vantor");
  window.show(L"Installing Aerolith Vantor ...", 2500);
  HWND shown = FindWindowW(nullptr, L"Aerolith Vantor");
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(IsWindowVisible(shown));
  EXPECT_NE(GetForegroundWindow(), shown);
  HWND text = FindWindowExW(shown, nullptr, WC_STATICW, nullptr);
  HWND bar = FindWindowExW(shown, nullptr, PROGRESS_CLASSW, nullptr);
  EXPECT_EQ(textOf(text), L"Installing Aerolith Vantor ...");
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), LRESULT{kProgressSteps});
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 2500);

  RECT frame{};
  GetWindowRect(shown, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(shown, MONITOR_DEFAULTTOPRIMARY), &monitor);
  EXPECT_NEAR(frame.left + frame.right, monitor.rcWork.left + monitor.rcWork.right, 2);
  EXPECT_NEAR(frame.top + frame.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 2);

  window.show(L"Updating Aerolith Vantor ...", 7500);
  EXPECT_EQ(textOf(text), L"Updating Aerolith Vantor ...");
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 7500);

  // The close box is disabled, and what else asks to close (Alt+F4) is ignored.
  EXPECT_NE(GetClassLongPtrW(shown, GCL_STYLE) & CS_NOCLOSE, 0u);
  SendMessageW(shown, WM_SYSCOMMAND, SC_CLOSE, 0);
  SendMessageW(shown, WM_CLOSE, 0, 0);
  window.wait(20ms);
  EXPECT_TRUE(IsWindow(shown));

  window.close();
  EXPECT_FALSE(IsWindow(shown));
  window.show(L"Installing Aerolith Vantor ...", 9000);
  EXPECT_EQ(FindWindowW(nullptr, L"Aerolith Vantor"), nullptr);
}

// In a child process, since it bars progress windows for the rest of it.
TEST(ProgressWindowDeathTest, CrashReporterHidesTheWindowAndKeepsOthersAway) {
  if (!windowsCanBeMade()) GTEST_SKIP() << "no display to make windows on";
  EXPECT_EXIT(
      {
        ProgressWindow window(L"Aerolith Vantor");
        window.show(L"Installing Aerolith Vantor ...", 2500);
        HWND shown = FindWindowW(nullptr, L"Aerolith Vantor");
        hideProgressWindowsNow();
        window.wait(20ms);  // on another thread, the hide waits for the window's messages
        const bool hidden = !IsWindowVisible(shown);
        ProgressWindow later(L"Aerolith Vantor later");
        later.show(L"Installing Aerolith Vantor ...", 2500);
        const bool noneLater = FindWindowW(nullptr, L"Aerolith Vantor later") == nullptr;
        std::_Exit(shown != nullptr && hidden && noneLater ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace aerolith::sys
