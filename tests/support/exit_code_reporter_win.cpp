// exit_code_reporter PROGRAM [ARGS...]: runs the program, waits for it and prints
// "exit code: 0xXXXXXXXX" with its full 32-bit exit code.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The reporter's own command line minus its first argument, quoting untouched.
std::wstring commandLineAfterProgramName() {
  const wchar_t* line = GetCommandLineW();
  bool quoted = false;
  for (; *line != L'\0'; ++line) {
    if (*line == L'"') quoted = !quoted;
    if (!quoted && (*line == L' ' || *line == L'\t')) break;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int wmain() {
  std::wstring command = commandLineAfterProgramName();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("cannot start: error %lu\n", GetLastError());
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  std::printf("exit code: 0x%08lX\n", code);
  std::fflush(stdout);
  return 0;
}
