#include <windows.h>

#include <array>

#include "sys/executable_path.hpp"

namespace aerolith::sys {

ExecutablePath currentExecutablePath() {
  std::array<wchar_t, MAX_PATH> buffer{};
  SetLastError(0);
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), buffer.size());
  if (length == 0) return {std::nullopt, GetLastError()};
  // A name that fills the buffer was cut short (older systems do not say so).
  if (length >= buffer.size()) return {std::nullopt, ERROR_INSUFFICIENT_BUFFER};
  return {std::filesystem::path(std::wstring(buffer.data(), length)), 0};
}

}  // namespace aerolith::sys
