#include "sys/process/process_launch.hpp"

#include <windows.h>
// These need windows.h first.
#include <objbase.h>
#include <shellapi.h>

#include "sys/internal/last_error_win.hpp"
#include "sys/internal/system_library_win.hpp"

namespace aerolith::sys {

// The sizes the structures are handed over with (x64).
static_assert(sizeof(STARTUPINFOW) == 104);
static_assert(sizeof(SHELLEXECUTEINFOW) == 112);

base::Result<void> createProcess(LaunchStrings& strings) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  SetLastError(0);
  if (!CreateProcessW(strings.applicationName.data(), strings.commandLine.data(), nullptr, nullptr,
                      FALSE, 0, nullptr, strings.workingDirectory.data(), &startup, &process)) {
    return lastError();
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {};
}

// The shell needs COM on the calling thread, apartment-threaded, for the
// extensions that an association may run; OLE1 DDE is not wanted.
class ComApartment {
 public:
  ComApartment() {
    static const auto initialize =
        systemFunction<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    initialized_ =
        initialize != nullptr &&
        SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  }
  ~ComApartment() {
    static const auto uninitialize =
        systemFunction<decltype(&CoUninitialize)>(L"ole32.dll", "CoUninitialize");
    if (initialized_ && uninitialize != nullptr) uninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialized_ = false;
};

base::Result<void> openWithShell(LaunchStrings& strings) {
  static const auto shellExecute =
      systemFunction<decltype(&ShellExecuteExW)>(L"shell32.dll", "ShellExecuteExW");
  if (shellExecute == nullptr) return lastError();
  const ComApartment com;
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof(execute);
  execute.lpVerb = L"open";
  execute.lpFile = strings.applicationName.c_str();
  execute.lpParameters = strings.commandLine.c_str();
  execute.lpDirectory = strings.workingDirectory.c_str();
  execute.nShow = SW_SHOWNORMAL;
  // The shell shows no error box of its own: the launcher's dialog, with both
  // error codes, is the one explanation the user gets.
  execute.fMask = SEE_MASK_FLAG_NO_UI;
  if (!shellExecute(&execute)) return lastError();
  return {};
}

}  // namespace aerolith::sys
