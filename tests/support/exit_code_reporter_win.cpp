// exit_code_reporter [--env NAME=VALUE | --unset NAME]... PROGRAM [ARGS...]
// Runs the program with the given changes to the environment, waits for it and
// prints "exit code: 0xXXXXXXXX" with its full 32-bit exit code. Wine hands a
// Unix parent only the low byte of that code, and it sets some variables (such
// as LOCALAPPDATA) from the prefix, whatever the Unix environment says. It
// first prints "exit code reporter: starting": a run without that line never
// reached the program (Wine itself failed), so it may be tried again.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>

namespace {

bool startsWith(const wchar_t* text, const wchar_t* prefix) {
  return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

// The reporter's command line minus its first `skip` arguments, quoting untouched.
const wchar_t* commandLineAfter(int skip) {
  const wchar_t* line = GetCommandLineW();
  for (int i = 0; i < skip; ++i) {
    bool quoted = false;
    for (; *line != L'\0'; ++line) {
      if (*line == L'"') quoted = !quoted;
      if (!quoted && (*line == L' ' || *line == L'\t')) break;
    }
    while (*line == L' ' || *line == L'\t') ++line;
  }
  return line;
}

// Environment variable names compare without regard to case on Windows.
struct NameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::wstring, std::wstring, NameLess> environment;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    const wchar_t* equals = std::wcschr(entry + 1, L'=');
    if (equals != nullptr) environment[std::wstring(entry, equals)] = equals + 1;
  }
  FreeEnvironmentStringsW(block);

  int arg = 1;
  for (; arg + 1 < argc; arg += 2) {
    if (startsWith(argv[arg], L"--env")) {
      const wchar_t* equals = std::wcschr(argv[arg + 1], L'=');
      if (equals == nullptr) return 2;
      environment[std::wstring(argv[arg + 1], static_cast<std::size_t>(equals - argv[arg + 1]))] =
          equals + 1;
    } else if (startsWith(argv[arg], L"--unset")) {
      environment.erase(argv[arg + 1]);
    } else {
      break;
    }
  }
  if (arg >= argc) return 2;

  std::wstring childEnvironment;
  for (const auto& [name, value] : environment) {
    childEnvironment += name + L"=" + value;
    childEnvironment.push_back(L'\0');
  }
  childEnvironment.push_back(L'\0');

  std::printf("exit code reporter: starting\n");
  std::fflush(stdout);
  std::wstring command = commandLineAfter(arg);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      childEnvironment.data(), nullptr, &startup, &process)) {
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
