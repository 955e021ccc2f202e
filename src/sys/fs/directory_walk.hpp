// The recursive listing of a folder, collected whole before anything in it
// changes: each folder before its contents, links listed but never entered.
// Only the chain of folders being listed is open at any time, so a walk of any
// number of folders holds as many handles as it is deep; whatever is later done
// to an entry is done relative to its folder, opened again (FolderChain).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "sys/fs/folder.hpp"

namespace aerolith::sys {

struct WalkFolder {
  std::size_t parent = 0;      // index in Walk::folders; the walked folder is its own
  std::filesystem::path name;  // its name in the parent
  std::filesystem::path path;  // the walked folder's path, then the sub-folders' names
};

struct WalkEntry {
  std::size_t folder = 0;               // the folder that holds it, an index in Walk::folders
  std::filesystem::path name;           // its name there
  ObjectKind kind = ObjectKind::kFile;  // as the listing reported it; never kMissing
  std::optional<FileStamp> stamp;       // a file's time and size, where the listing has them
  bool normalAttributes = false;        // see FolderEntry
};

// Where and why a walk ended before it had listed everything.
struct WalkStop {
  std::filesystem::path folder;
  std::error_code error;
};

struct Walk {
  std::vector<WalkFolder> folders;  // the walked folder first, then every sub-folder met
  std::vector<WalkEntry> entries;
  std::optional<WalkStop> stop;

  std::filesystem::path pathOf(const WalkEntry& entry) const {
    return folders[entry.folder].path / entry.name;
  }
};

// Every entry below `root`, depth first, within a folder in the order the file
// system lists them, with what `detail` asks for. An error while opening a
// folder or reading its entries ends the walk there: the entries met before are
// returned, with the stop.
Walk walkTree(const Folder& root, ListDetail detail = ListDetail::kStatus);

// The folders of a walk opened again, as its entries are worked through in walk
// order: only the chain from the root to the folder in hand is held open. Each
// is opened from its parent without following a link, so a folder swapped for
// a link since it was listed is not entered.
class FolderChain {
 public:
  // `root` is the walked folder; both must outlive this object.
  FolderChain(const Folder& root, const Walk& walk) : root_(root), walk_(walk) {}

  // The walk's folder `index`, open. Fails when it (or a folder on its way)
  // cannot be opened any more.
  base::Result<const Folder*> open(std::size_t index);

 private:
  const Folder& root_;
  const Walk& walk_;
  std::vector<std::pair<std::size_t, Folder>> chain_;  // below the root, outermost first
};

}  // namespace aerolith::sys
