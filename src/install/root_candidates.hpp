// The folders in which the install directory may be created, best first: the
// user's local application-data folder as the system reports it, then a folder
// next to the launcher's own.
#pragma once

#include <filesystem>
#include <vector>

namespace aerolith::install {

// The local application-data folders of every system source, each folder once
// by path equality, empty ones dropped, sorted ascending. May be empty.
std::vector<std::filesystem::path> findLocalAppDataRoots();

// `folders` with duplicates and empty paths dropped, sorted ascending. Paths are
// equal when they differ only in separators: `\` and `/` alike, a run of them
// counts as one; letters compare case-sensitively. The first spelling is kept.
std::vector<std::filesystem::path> uniqueSortedRoots(
    const std::vector<std::filesystem::path>& folders);

// The folder that holds the launcher and the parent of that folder, which is
// the fallback root. The parent of a drive's root folder is that root itself.
struct LauncherFolders {
  std::filesystem::path folder;
  std::filesystem::path parent;
};
LauncherFolders launcherFolders(const std::filesystem::path& launcherFile);

}  // namespace aerolith::install
