// The recursive listing of a folder, collected whole before anything in it
// changes: each folder before its contents, links listed but never entered.
// Every folder met stays open while the walk lives, so that whatever is later
// done to an entry is done relative to the folder that holds it.
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <vector>

#include "sys/folder.hpp"

namespace aerolith::sys {

struct WalkEntry {
  const Folder* folder = nullptr;  // the open folder that holds it
  std::filesystem::path name;      // its name there
  ObjectKind kind = ObjectKind::kFile;  // as the listing reported it; never kMissing
  std::optional<FileStamp> stamp;       // a file's time and size, unless unreadable
  bool normalAttributes = false;        // see FolderEntry

  // The walked folder's path, the sub-folders and the name; made when asked
  // for, as few need it.
  std::filesystem::path path() const { return folder->path() / name; }
};

struct Walk {
  std::deque<Folder> folders;  // every sub-folder met, open
  std::vector<WalkEntry> entries;
};

// Every entry below `root`, depth first, within a folder in the order the file
// system lists them, each with its status (ListDetail::kStatus). An error while
// opening a folder or reading its entries ends the walk there, silently: the
// entries met before are returned.
Walk walkTree(const Folder& root);

}  // namespace aerolith::sys
