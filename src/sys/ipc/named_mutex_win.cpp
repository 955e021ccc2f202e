#include "sys/ipc/named_mutex.hpp"

#include <windows.h>

#include <string>

namespace aerolith::sys {

CreatedMutex createOwnedMutex(std::wstring_view name) {
  const std::wstring nameZ(name);
  SetLastError(0);
  HANDLE handle = CreateMutexW(nullptr, TRUE, nameZ.c_str());
  return {handle, handle != nullptr && GetLastError() == ERROR_ALREADY_EXISTS};
}

bool namedMutexExists(std::wstring_view name) {
  const std::wstring nameZ(name);
  HANDLE handle = OpenMutexW(SYNCHRONIZE, FALSE, nameZ.c_str());
  if (handle == nullptr) return false;
  CloseHandle(handle);
  return true;
}

void releaseMutex(MutexHandle handle) { ReleaseMutex(handle); }

void closeMutex(MutexHandle handle) {
  if (handle == nullptr) return;
  ReleaseMutex(handle);
  CloseHandle(handle);
}

}  // namespace aerolith::sys
