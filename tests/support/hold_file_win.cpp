// hold_file PATH
// Opens the file for reading and writing without sharing, prints "held" and
// keeps it open until its standard input ends: another process that wants the
// file meets a sharing violation meanwhile.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open: %lu\n", GetLastError());
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  char buffer[64];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
         read > 0) {
  }
  CloseHandle(file);
  return 0;
}
