// The two checks at the start of every run: only one launcher works at a time
// in a logon session, and a launcher started while the application runs hands
// off to it and exits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace aerolith::launcher {

// Kernel objects of the session: the launcher's own mutex, and the two objects
// that the running application creates.
inline constexpr std::wstring_view kLauncherMutexName = L"{C4EDD596-1F8A-4C46-95AE-13EBB5DAAD57}";
inline constexpr std::wstring_view kApplicationMutexName =
    L"{CD8E6C81-9D08-4C79-AD1B-4B3FE937EDD5}";
inline constexpr std::wstring_view kWindowHandleMappingName = L"Local\\Aerolith.GUI.MainWindowHWND";

// What the application publishes in the window-handle mapping: its main window
// and the message to post to it. Eight bytes, little-endian, no header.
struct WindowHandleRecord {
  static constexpr std::size_t kSize = 8;
  using Bytes = std::array<std::byte, kSize>;

  std::int32_t window = 0;  // the significant 32 bits of a window handle
  std::uint32_t message = 0;

  static WindowHandleRecord decode(const Bytes& bytes);
  Bytes encode() const;

  // A zero in either field means there is nothing to post.
  bool postable() const { return window != 0 && message != 0; }
  // Window handles are sign-extended from their 32 significant bits.
  std::intptr_t windowHandle() const { return window; }
};

// Creates the launcher mutex, owned by the calling thread, and keeps its handle
// in launcherMutex. True when another launcher holds it already ("launcher
// already exists" is logged); without a handle the run goes on unguarded.
bool anotherLauncherRuns();

// True when the application runs. Its window has then been posted the message
// it published, if its record holds one, and "gui already exists" is logged.
bool handedOffToRunningApplication();

}  // namespace aerolith::launcher
