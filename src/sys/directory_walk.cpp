#include "sys/directory_walk.hpp"

namespace aerolith::sys {
namespace {

// Appends what lies below `folder`; false once the walk has to end.
bool walkBelow(const Folder& folder, Walk& walk) {
  std::error_code error;
  const std::vector<FolderEntry> entries = folder.list(error, ListDetail::kStatus);
  for (const FolderEntry& entry : entries) {
    walk.entries.push_back({&folder, entry.name, entry.kind, entry.stamp, entry.normalAttributes});
    if (entry.kind != ObjectKind::kDirectory) continue;
    // Opened without following links: a folder swapped for a link since it
    // was listed is not entered, and the walk ends there.
    std::error_code openError;
    Folder inside = folder.openFolder(entry.name, openError);
    if (!inside.isOpen()) return false;
    walk.folders.push_back(std::move(inside));
    if (!walkBelow(walk.folders.back(), walk)) return false;
  }
  return !error;
}

}  // namespace

Walk walkTree(const Folder& root) {
  Walk walk;
  walkBelow(root, walk);
  return walk;
}

}  // namespace aerolith::sys
