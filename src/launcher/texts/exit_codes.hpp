// How a run of the launcher ended, as its process exit code.
#pragma once

namespace aerolith::launcher {

inline constexpr int kExitStarted = 0;                 // the application was started
inline constexpr int kExitFatal = -100;                // a fatal dialog was shown and closed
inline constexpr int kExitLauncherRunning = -1000;     // another launcher is at work
inline constexpr int kExitApplicationRunning = -2000;  // handed off to the running application

}  // namespace aerolith::launcher
