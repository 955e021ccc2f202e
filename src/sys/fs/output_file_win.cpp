#include "sys/fs/output_file.hpp"

#include <windows.h>

#include <algorithm>

#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {
namespace {

// WriteFile takes a 32-bit count; larger contents go in pieces.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

OutputFile::~OutputFile() {
  if (isOpen()) ::CloseHandle(handleOf(handle_));
}

bool OutputFile::write(std::span<const std::uint8_t> bytes, std::error_code& error) {
  error.clear();
  while (!bytes.empty()) {
    const auto size = static_cast<DWORD>(std::min(bytes.size(), kLargestWrite));
    DWORD written = 0;
    if (!::WriteFile(handleOf(handle_), bytes.data(), size, &written, nullptr)) {
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
  if (::SetFileTime(handleOf(handle_), nullptr, nullptr, &lastWrite)) return true;
  error = lastErrorCode();
  return false;
}

bool OutputFile::close(std::error_code& error) {
  error.clear();
  const HANDLE handle = handleOf(handle_);
  handle_ = kClosed;
  if (::CloseHandle(handle)) return true;
  error = lastErrorCode();
  return false;
}

}  // namespace aerolith::sys
