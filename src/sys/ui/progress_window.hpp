// A small window that tells the user a long start is at work: a caption, one
// line of text and a progress bar, without buttons. It never takes the focus,
// and the user cannot close it: the work behind it cannot be stopped halfway.
//
// Windows: a centred, DPI-aware window with the image's own icon (resource 1)
// and the same progress on its taskbar button. POSIX: a `zenity --progress`
// window where there is a desktop (DISPLAY or WAYLAND_DISPLAY set, zenity on
// PATH), else one updating line on standard error when that is a terminal,
// else nothing.
//
// show(), wait() and close() belong to one thread, the window's own; the window
// exists only while that thread pumps its messages in wait().
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

namespace aerolith::sys {

// The bar's whole length, in steps.
inline constexpr std::uint32_t kProgressSteps = 10'000;

class ProgressWindow {
 public:
  explicit ProgressWindow(std::wstring_view caption);
  ~ProgressWindow();  // closes the window
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // The first call opens the window with `text` and the bar at `step` of
  // kProgressSteps; later calls update both. When no window can be shown (no
  // desktop, the system refuses one, or after hideProgressWindowsNow()) the
  // calls do nothing; nothing is reported, as nothing depends on it.
  void show(std::wstring_view text, std::uint32_t step);

  // Removes the window from the screen and returns once it is gone; show()
  // does nothing afterwards.
  void close();

  // Handles the window's messages for `period`, or less once stopWaiting() has
  // been called.
  void wait(std::chrono::milliseconds period);

  // Any thread: the current wait() and every later one return at once.
  void stopWaiting();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// For the crash reporter: hides the open progress window without waiting for
// its thread, which may be the crashed one, and keeps any from showing from now
// on. Windows only posts the hide (ShowWindowAsync), which the window's thread
// carries out at its next message, a crash box of its own included. POSIX:
// async-signal-safe; ends the zenity window (SIGTERM) and erases the terminal
// line. A window that is being opened at this very moment never shows.
void hideProgressWindowsNow();

}  // namespace aerolith::sys
