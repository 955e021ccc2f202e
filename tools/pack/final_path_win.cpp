// The standard library's canonical() leaves links unresolved on Windows; the
// file system tells the final path of an open handle.
#include <windows.h>

#include <string>
#include <system_error>

#include "pack/final_path.hpp"

namespace aerolith::pack {

std::filesystem::path finalPath(const std::filesystem::path& path, std::error_code& error) {
  error.clear();
  const HANDLE handle =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
    return {};
  }
  std::wstring final(MAX_PATH, L'\0');
  DWORD length = 0;
  for (;;) {
    length = ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length < final.size()) break;
    final.resize(length);
  }
  if (length == 0)
    error = std::error_code(static_cast<int>(::GetLastError()), std::system_category());
  ::CloseHandle(handle);
  final.resize(length);
  // "\\?\C:\dir" or "\\?\UNC\server\share\dir".
  if (final.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + final.substr(8);
  if (final.starts_with(L"\\\\?\\")) return final.substr(4);
  return final;
}

}  // namespace aerolith::pack
