// Starting the application as a process of its own, which the launcher neither
// waits for nor keeps a handle to: through the system's process loader, or
// through the shell, which opens a file the way the user's system would.
#pragma once

#include <string>
#include <system_error>

namespace aerolith::sys {

// The strings a start is made of. They are writable because process creation
// may change the command line in place.
struct LaunchStrings {
  std::wstring applicationName;  // the program's full path
  std::wstring commandLine;      // its quoted path, nothing else
  std::wstring workingDirectory;
};

// Each returns whether the program was started; if not, `error` holds the
// system's code for why.
//
// CreateProcessW on Windows: the application name, the command line, no
// inherited handles, the inherited environment, the working directory. On
// POSIX posix_spawn of the program with its path as the only argument, in a
// session of its own, holding nothing of the launcher's but its environment.
[[nodiscard]] bool createProcess(LaunchStrings& strings, std::error_code& error);

// ShellExecuteExW "open" of the application name with the command line as its
// parameters, in the working directory. On POSIX the desktop's opener,
// xdg-open, is handed the application name (it takes no parameters); its
// failure is the errno of its start, or its exit status in a category of
// its own.
[[nodiscard]] bool openWithShell(LaunchStrings& strings, std::error_code& error);

}  // namespace aerolith::sys
