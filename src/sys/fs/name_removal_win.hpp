// Removing an opened object's name on Windows so that the name is free at
// once, while other programs (a virus scanner, the search indexer, a backup
// agent) may still hold the object open; Folder::removeObject's last step,
// with a seam over the one call that sets a disposition. And moving an opened
// object to another name in its folder.
#pragma once

#include <windows.h>

#include <filesystem>
#include <system_error>

#include "base/result.hpp"

namespace aerolith::sys {

// SetFileInformationByHandle's shape.
using SetFileInformation = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// Moves `file` (open with DELETE) to `name` in `folder`, the folder's handle
// naming the folder, so that no path is resolved; over what is there (a file,
// or a link as itself) only when `replace` is set.
base::Result<void> moveName(HANDLE file, HANDLE folder, const std::filesystem::path& name,
                            bool replace);

// Deletes `object`, the entry `name` of `folder` opened with DELETE,
// FILE_READ_ATTRIBUTES and FILE_WRITE_ATTRIBUTES and sharing all access, with
// POSIX semantics, ignoring its read-only attribute. Where the system refuses
// that (before Windows 10 1809, Wine 8), it moves the object to a temporary
// name in `folder` and deletes it there, a read-only file with one link after
// clearing the attribute. A read-only file with more links is deleted in place
// ignoring the attribute; where that is refused too, its attribute is never
// touched: it is moved to a temporary name and kept there (success: the name
// is free), and under a temporary name it is left as it is (a failure,
// std::errc::too_many_links). On any other failure the object may be left
// under its temporary name.
base::Result<void> removeName(HANDLE folder, HANDLE object, const std::filesystem::path& name,
                              SetFileInformation setInformation = ::SetFileInformationByHandle);

}  // namespace aerolith::sys
