#include "sys/folder_listing_win.hpp"

#include "sys/last_error_win.hpp"

namespace aerolith::sys {
namespace {

// Wine reports a Unix symbolic link to a folder as a reparse point without a tag.
constexpr DWORD kUntaggedReparsePoint = 0;

bool isDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

ObjectKind kindOfListing(DWORD attributes, DWORD reparseTag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT ||
       reparseTag == kUntaggedReparsePoint)) {
    return ObjectKind::kLink;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ObjectKind::kDirectory : ObjectKind::kFile;
}

std::vector<FolderEntry> listFolder(const std::filesystem::path& folder, std::error_code& error) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW data{};
  const std::wstring pattern = (folder / L"*").native();
  const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    error = lastErrorCode();
    return entries;
  }
  do {
    if (!isDotEntry(data.cFileName)) {
      entries.push_back({data.cFileName, kindOfListing(data.dwFileAttributes, data.dwReserved0)});
    }
  } while (::FindNextFileW(find, &data));
  error = lastErrorCode();
  ::FindClose(find);
  if (error.value() == ERROR_NO_MORE_FILES) error.clear();
  return entries;
}

}  // namespace aerolith::sys
