#include "sys/process_launch.hpp"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

namespace aerolith::sys {

// The sizes the structures are handed over with (x64).
static_assert(sizeof(STARTUPINFOW) == 104);
static_assert(sizeof(SHELLEXECUTEINFOW) == 112);

StartResult createProcess(LaunchStrings& strings) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  SetLastError(0);
  if (!CreateProcessW(strings.applicationName.data(), strings.commandLine.data(), nullptr, nullptr,
                      FALSE, 0, nullptr, strings.workingDirectory.data(), &startup, &process)) {
    return {false, GetLastError()};
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {true, 0};
}

StartResult openWithShell(LaunchStrings& strings) {
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  execute.lpVerb = L"open";
  execute.lpFile = strings.applicationName.c_str();
  execute.lpParameters = strings.commandLine.c_str();
  execute.lpDirectory = strings.workingDirectory.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&execute)) return {false, GetLastError()};
  return {true, 0};
}

}  // namespace aerolith::sys
