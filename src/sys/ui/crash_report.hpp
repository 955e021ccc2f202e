// The last line of defence: whatever crashes the process (an unhandled
// exception or fatal signal on any thread, a C++ exception that nothing
// catches) leaves a report for the maker's support and tells the user.
#pragma once

#include <string_view>

namespace aerolith::sys {

// From now on a crash writes its report to `file` (resolved against the current
// directory when the crash happens, replacing an older report), shows `message`
// in an error box, and then lets the process end the way it would have ended
// without the handler. A progress window on screen is hidden first. Windows writes a minidump
// through MiniDumpWriteDump, looked up in dbghelp.dll only then; POSIX writes a text report with
// the signal, the faulting thread and a backtrace. Without a report the box is still shown. Only
// the first crash of a process is reported.
void installCrashReporter(std::wstring_view file, std::wstring_view message,
                          std::wstring_view caption);

}  // namespace aerolith::sys
