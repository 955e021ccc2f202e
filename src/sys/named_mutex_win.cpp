#include "sys/named_mutex.hpp"

#include <windows.h>

#include <string>

namespace aerolith::sys {

CreatedMutex createOwnedMutex(std::wstring_view name) {
  const std::wstring nameZ(name);
  SetLastError(0);
  HANDLE handle = CreateMutexW(nullptr, TRUE, nameZ.c_str());
  return {handle, handle != nullptr && GetLastError() == ERROR_ALREADY_EXISTS};
}

void releaseMutex(MutexHandle handle) { ReleaseMutex(handle); }

}  // namespace aerolith::sys
