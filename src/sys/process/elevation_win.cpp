#include "sys/process/elevation.hpp"

#include <windows.h>

namespace aerolith::sys {

bool isElevatedRun() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool read =
      ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  ::CloseHandle(token);
  return !read || elevation.TokenIsElevated != 0;
}

}  // namespace aerolith::sys
