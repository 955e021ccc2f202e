#include <windows.h>

#include "floor_tree.hpp"

namespace floor_tree {

Folder::Folder(const std::filesystem::path& path) : path_(path) {
  if (::CreateDirectoryW(path.c_str(), nullptr)) handle_ = 0;
}

Folder::~Folder() = default;

bool Folder::isOpen() const { return handle_ >= 0; }

bool Folder::createEmpty(const std::filesystem::path& name, std::uint64_t fileTime) {
  const HANDLE file = ::CreateFileW((path_ / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const FILETIME lastWrite{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  const bool stamped = ::SetFileTime(file, nullptr, nullptr, &lastWrite) != FALSE;
  return ::CloseHandle(file) != FALSE && stamped;
}

long long listTree(const std::filesystem::path& root) {
  WIN32_FIND_DATAW found{};
  const HANDLE search =
      ::FindFirstFileExW((root / L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return -1;
  long long files = 0;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      const long long below = listTree(root / name);
      if (below < 0) {
        files = -1;
        break;
      }
      files += below;
    } else {
      ++files;  // the listing itself carries its time and size
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return files;
}

}  // namespace floor_tree
