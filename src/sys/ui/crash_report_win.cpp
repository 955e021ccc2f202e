#include <windows.h>
// dbghelp.h needs windows.h first.
#include <dbghelp.h>

#include <cstdlib>
#include <exception>
#include <string>

#include "sys/internal/system_library_win.hpp"
#include "sys/ui/crash_report.hpp"
#include "sys/ui/crash_turn.hpp"
#include "sys/ui/dialog.hpp"
#include "sys/ui/progress_window.hpp"

namespace aerolith::sys {
namespace {

// Raised in place of a C++ exception that nothing catches ("AEC" with the
// customer bit set, so it can never be mistaken for a system code).
constexpr DWORD kUncaughtCppException = 0xE0414543;

struct Settings {
  std::wstring file;
  PreparedMessageBox message;
};
const Settings* settings = nullptr;  // set once, never freed: crashes may read it at any time

using MiniDumpWriteDumpFunction = decltype(&MiniDumpWriteDump);

void writeMiniDump(EXCEPTION_POINTERS* exception) {
  // Looked up only now, so that a system without dbghelp.dll still starts; from
  // the system folder only, never from beside the launcher. version.dll, which
  // dbghelp loads itself while it writes the dump, is taken from there first:
  // some loaders (Wine's) search the program's folder for it all the same.
  systemFunction<FARPROC>(L"version.dll", "GetFileVersionInfoSizeW");
  const auto writeDump =
      systemFunction<MiniDumpWriteDumpFunction>(L"dbghelp.dll", "MiniDumpWriteDump");
  if (writeDump == nullptr) return;
  HANDLE file = CreateFileW(settings->file.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  MINIDUMP_EXCEPTION_INFORMATION information{GetCurrentThreadId(), exception, FALSE};
  writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, &information, nullptr,
            nullptr);
  CloseHandle(file);
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* exception) {
  switch (takeCrashTurn()) {
    case CrashTurn::kReport:
      hideProgressWindowsNow();
      writeMiniDump(exception);
      settings->message.show();
      break;
    case CrashTurn::kGiveUp:
      break;
    case CrashTurn::kWait:
      for (;;) Sleep(INFINITE);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// An uncaught C++ exception ends in std::terminate without ever reaching the
// unhandled-exception filter. Raising a structured exception here, where the
// throw's stack is still intact, sends it the same way as any other crash.
[[noreturn]] void onTerminate() {
  RaiseException(kUncaughtCppException, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::abort();
}

}  // namespace

void installCrashReporter(std::wstring_view file, std::wstring_view message,
                          std::wstring_view caption) {
  settings =
      new Settings{std::wstring(file), PreparedMessageBox(message, caption, DialogIcon::kError)};
  SetUnhandledExceptionFilter(onUnhandledException);
  std::set_terminate(onTerminate);
}

}  // namespace aerolith::sys
