#include <windows.h>

#include <array>

#include "sys/image/executable_path.hpp"
#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {

base::Result<std::filesystem::path> currentExecutablePath() {
  std::array<wchar_t, MAX_PATH> buffer{};
  SetLastError(0);
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), buffer.size());
  if (length == 0) return lastError();
  // A name that fills the buffer was cut short (older systems do not say so).
  if (length >= buffer.size()) {
    return base::fail(std::error_code(ERROR_INSUFFICIENT_BUFFER, std::system_category()));
  }
  return std::filesystem::path(std::wstring(buffer.data(), length));
}

}  // namespace aerolith::sys
