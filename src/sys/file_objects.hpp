// Single file-system objects looked at and removed as themselves. A symbolic
// link (on Windows also a junction) is never followed here, so nothing outside
// the folder that holds the link is ever touched through it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <system_error>

namespace aerolith::sys {

enum class ObjectKind {
  kMissing,
  kFile,       // anything that is neither a folder nor a link
  kDirectory,  // a real folder
  kLink,       // a symbolic link or junction, whatever it leads to
};

// The object's own kind. A missing object is no error.
ObjectKind objectKind(const std::filesystem::path& path, std::error_code& error);

// Whether `path`, links followed, names a folder; false without an error when
// nothing is there or a link leads nowhere.
bool isDirectoryFollowingLinks(const std::filesystem::path& path, std::error_code& error);

// Removes the object itself: a file, a link, or an empty folder. False without
// an error when nothing was there.
bool removeObject(const std::filesystem::path& path, std::error_code& error);

// Removes the object and, for a real folder, everything below it, links as
// links. Returns how many objects were removed (0 when nothing was there).
std::uintmax_t removeTree(const std::filesystem::path& path, std::error_code& error);

// Creates the folder `path`, whose parent must exist. False without an error
// when a folder is already there.
bool createFolder(const std::filesystem::path& path, std::error_code& error);

// Creates the folder `path` with every missing folder above it. True when at
// least one folder was created.
bool createFolders(const std::filesystem::path& path, std::error_code& error);

}  // namespace aerolith::sys
