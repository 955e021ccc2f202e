#include <windows.h>

#include <array>

#include "sys/image/executable_path.hpp"
#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {

std::filesystem::path currentExecutablePath(std::error_code& error) {
  error.clear();
  std::array<wchar_t, MAX_PATH> buffer{};
  SetLastError(0);
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), buffer.size());
  if (length == 0) {
    error = lastErrorCode();
    return {};
  }
  // A name that fills the buffer was cut short (older systems do not say so).
  if (length >= buffer.size()) {
    error.assign(ERROR_INSUFFICIENT_BUFFER, std::system_category());
    return {};
  }
  return std::filesystem::path(std::wstring(buffer.data(), length));
}

}  // namespace aerolith::sys
