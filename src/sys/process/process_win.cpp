#include <windows.h>

#include "sys/process/process.hpp"

namespace aerolith::sys {

std::uint32_t currentProcessId() { return GetCurrentProcessId(); }

std::uint32_t currentThreadId() { return GetCurrentThreadId(); }

std::optional<std::wstring> environmentVariable(std::wstring_view name) {
  const std::wstring nameZ(name);
  std::wstring value(64, L'\0');
  for (;;) {
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableW(nameZ.c_str(), value.data(), value.size());
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::wstring();
    }
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // too small: length counts the terminator
  }
}

}  // namespace aerolith::sys
