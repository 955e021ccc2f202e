// Starting the application as a process of its own, which the launcher neither
// waits for nor keeps a handle to: through the system's process loader, or
// through the shell, which opens a file the way the user's system would.
#pragma once

#include <string>
#include <system_error>

#include "base/result.hpp"

namespace aerolith::sys {

// The strings a start is made of. They are writable because process creation
// may change the command line in place.
struct LaunchStrings {
  std::wstring applicationName;  // the program's full path
  std::wstring commandLine;      // its quoted path, nothing else
  std::wstring workingDirectory;
};

// Each fails, with the system's code for why, when the program was not started.
//
// CreateProcessW on Windows: the application name, the command line, no
// inherited handles, the inherited environment, the working directory. On
// POSIX posix_spawn of the program with its path as the only argument, in a
// session of its own, holding nothing of the launcher's but its environment.
base::Result<void> createProcess(LaunchStrings& strings);

// ShellExecuteExW "open" of the application name with the command line as its
// parameters, in the working directory. On POSIX the desktop's opener,
// xdg-open, is handed the application name (it takes no parameters); its
// failure is the errno of its start, or its exit status in a category of
// its own.
base::Result<void> openWithShell(LaunchStrings& strings);

}  // namespace aerolith::sys
