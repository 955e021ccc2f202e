#include "sys/file/output_file.hpp"

#include <windows.h>

#include <algorithm>

#include "sys/file/owned_handle_win.hpp"
#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {
namespace {

// WriteFile takes a 32-bit count; larger contents go in pieces.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

}  // namespace

bool OutputFile::write(std::span<const std::uint8_t> bytes, std::error_code& error) {
  error.clear();
  while (!bytes.empty()) {
    const auto size = static_cast<DWORD>(std::min(bytes.size(), kLargestWrite));
    DWORD written = 0;
    if (!::WriteFile(nativeHandle(handle_), bytes.data(), size, &written, nullptr)) {
      error = lastErrorCode();
      return false;
    }
    bytes = bytes.subspan(written);
  }
  return true;
}

// Set on the handle that wrote, the time is the file system's last word: it
// is not set again when the handle closes.
bool OutputFile::setLastWriteTime(std::uint64_t fileTime, std::error_code& error) {
  error.clear();
  const FILETIME lastWrite{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  if (::SetFileTime(nativeHandle(handle_), nullptr, nullptr, &lastWrite)) return true;
  error = lastErrorCode();
  return false;
}

bool OutputFile::close(std::error_code& error) {
  error = handle_.close();
  return !error;
}

}  // namespace aerolith::sys
