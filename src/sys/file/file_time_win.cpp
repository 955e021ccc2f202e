#include <windows.h>

#include "sys/file/file_time.hpp"
#include "sys/file/owned_handle_win.hpp"
#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {
namespace {

std::uint64_t join(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

}  // namespace

base::Result<FileStamp> readFileStamp(const std::filesystem::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return lastError();
  return FileStamp{join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime),
                   join(data.nFileSizeHigh, data.nFileSizeLow)};
}

// Set on the handle that wrote, the time is the file system's last word: it
// is not set again when the handle closes.
base::Result<void> setLastWriteTime(const OwnedHandle& file, std::uint64_t fileTime) {
  const FILETIME lastWrite{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  if (::SetFileTime(nativeHandle(file), nullptr, nullptr, &lastWrite)) return {};
  return lastError();
}

}  // namespace aerolith::sys
