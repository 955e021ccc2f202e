// library_loader NAME: loads the library NAME the way a careless program would,
// searching its own folder first; exits with 0 when it was loaded.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  return argc == 2 && LoadLibraryW(argv[1]) != nullptr ? 0 : 1;
}
