#include "sys/process_launch.hpp"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "sys/last_error_win.hpp"

namespace aerolith::sys {

// The sizes the structures are handed over with (x64).
static_assert(sizeof(STARTUPINFOW) == 104);
static_assert(sizeof(SHELLEXECUTEINFOW) == 112);

bool createProcess(LaunchStrings& strings, std::error_code& error) {
  error.clear();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  SetLastError(0);
  if (!CreateProcessW(strings.applicationName.data(), strings.commandLine.data(), nullptr, nullptr,
                      FALSE, 0, nullptr, strings.workingDirectory.data(), &startup, &process)) {
    error = lastErrorCode();
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool openWithShell(LaunchStrings& strings, std::error_code& error) {
  error.clear();
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  execute.lpVerb = L"open";
  execute.lpFile = strings.applicationName.c_str();
  execute.lpParameters = strings.commandLine.c_str();
  execute.lpDirectory = strings.workingDirectory.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&execute)) {
    error = lastErrorCode();
    return false;
  }
  return true;
}

}  // namespace aerolith::sys
