// The launcher's last line of defence, installed before anything else runs:
// whatever crashes it, on either thread, leaves "Aerolith.Launcher.dmp" in the
// current directory and the crash message on screen.
#pragma once

#include <string_view>

namespace aerolith::launcher {

inline constexpr std::wstring_view kCrashDumpFileName = L"Aerolith.Launcher.dmp";

void installCrashHandler();

}  // namespace aerolith::launcher
