#include "sys/file_objects.hpp"

#include <vector>

#include "sys/folder_listing_win.hpp"
#include "sys/last_error_win.hpp"

namespace aerolith::sys {
namespace fs = std::filesystem;
namespace {

bool isNotFound(const std::error_code& error) {
  return error.value() == ERROR_FILE_NOT_FOUND || error.value() == ERROR_PATH_NOT_FOUND;
}

// Deletes what `handle` was opened on (with FILE_FLAG_OPEN_REPARSE_POINT). A
// link must have been opened as itself: where the system resolved it anyway,
// as Wine does with Unix links, deleting would remove the link's target.
bool deleteOpened(HANDLE handle, ObjectKind listed, std::error_code& error) {
  FILE_ATTRIBUTE_TAG_INFO opened{};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &opened, sizeof opened)) {
    error = lastErrorCode();
    return false;
  }
  if (listed == ObjectKind::kLink && (opened.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    error.assign(ERROR_NOT_A_REPARSE_POINT, std::system_category());
    return false;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
    error = lastErrorCode();
    return false;
  }
  return true;
}

}  // namespace

// FindFirstFileExW on the path itself reports the object as a folder listing
// does: a link as a link.
ObjectKind objectKind(const fs::path& path, std::error_code& error) {
  error.clear();
  WIN32_FIND_DATAW data{};
  const HANDLE find =
      ::FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    error = lastErrorCode();
    if (isNotFound(error)) error.clear();
    return ObjectKind::kMissing;
  }
  ::FindClose(find);
  return kindOfListing(data.dwFileAttributes, data.dwReserved0);
}

bool isDirectoryFollowingLinks(const fs::path& path, std::error_code& error) {
  error.clear();
  const HANDLE handle =
      ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = lastErrorCode();
    if (isNotFound(error)) error.clear();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = ::GetFileInformationByHandle(handle, &information);
  if (!known) error = lastErrorCode();
  ::CloseHandle(handle);
  return known && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool removeObject(const fs::path& path, std::error_code& error) {
  const ObjectKind listed = objectKind(path, error);
  if (error || listed == ObjectKind::kMissing) return false;
  const HANDLE handle =
      ::CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = lastErrorCode();
    if (isNotFound(error)) error.clear();
    return false;
  }
  const bool removed = deleteOpened(handle, listed, error);
  ::CloseHandle(handle);
  return removed;
}

std::uintmax_t removeTree(const fs::path& path, std::error_code& error) {
  const ObjectKind kind = objectKind(path, error);
  if (error || kind == ObjectKind::kMissing) return 0;
  std::uintmax_t removed = 0;
  if (kind == ObjectKind::kDirectory) {
    const std::vector<FolderEntry> entries = listFolder(path, error);
    if (error) return removed;
    for (const FolderEntry& entry : entries) {
      removed += removeTree(path / entry.name, error);
      if (error) return removed;
    }
  }
  if (removeObject(path, error)) ++removed;
  return removed;
}

}  // namespace aerolith::sys
