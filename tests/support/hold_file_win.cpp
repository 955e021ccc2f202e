// hold_file [--share-all] PATH
// Opens the file for reading and writing without sharing (another process that
// wants the file meets a sharing violation) or, with --share-all, sharing all
// access as a virus scanner does; prints "held" and keeps it open until its
// standard input ends, then prints the file's content as read through its
// handle.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  const bool shareAll = argc == 3 && std::wcscmp(argv[1], L"--share-all") == 0;
  if (argc != (shareAll ? 3 : 2)) return 2;
  const DWORD share = shareAll ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
  const HANDLE file = CreateFileW(argv[argc - 1], GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open: %lu\n", GetLastError());
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
         read > 0) {
  }
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    std::fwrite(buffer, 1, read, stdout);
  }
  CloseHandle(file);
  return 0;
}
