// The run's last working step: clears the legacy files out of the install
// directory and starts the application from it, as a process independent of
// the launcher.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "base/result.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::launcher {

inline constexpr std::wstring_view kTargetName = L"Aerolith.exe";

// Files of older releases that the bundle no longer carries under these names.
inline constexpr std::array<std::wstring_view, 4> kLegacyFileNames{
    L"hidapi.x86.dll", L"hidapi.x64.dll", L"Aerolith.Vantor.x86.exe", L"Aerolith.Vantor.x64.exe"};

// Removes each legacy file that exists, a link as a link; one that cannot be
// removed is left, silently, and the next one is handled.
void removeLegacyFiles(const sys::Folder& installFolder);

// Why the application could not be started: the system's codes of both ways.
struct StartFailure {
  std::uint32_t processError = 0;  // the process loader's
  std::uint32_t shellError = 0;    // the shell's
};

using StartStatus = base::Result<void, StartFailure>;

// Removes the legacy files, then starts the application with the process
// loader, or else through the shell. Fails when neither could.
StartStatus launchTarget(const sys::Folder& installFolder);

}  // namespace aerolith::launcher
