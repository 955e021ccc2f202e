#include "sys/fs/directory_walk.hpp"

#include <algorithm>
#include <utility>

namespace aerolith::sys {
namespace {

// Appends what lies below `folder`, the walk's folder `index`; false once the
// walk has to end. A sub-folder is closed again once it has been listed.
bool walkBelow(const Folder& folder, std::size_t index, Walk& walk, ListDetail detail) {
  const Listing<FolderEntry> listing = folder.list(detail);
  for (const FolderEntry& entry : listing.entries) {
    walk.entries.push_back({index, entry.name, entry.kind, entry.stamp, entry.normalAttributes});
    if (entry.kind != ObjectKind::kDirectory) continue;
    // Opened without following links: a folder swapped for a link since it
    // was listed is not entered, and the walk ends there.
    const base::Result<Folder> inside = folder.openFolder(entry.name);
    const std::filesystem::path path = walk.folders[index].path / entry.name;
    if (!inside) {
      walk.stop = WalkStop{path, inside.error()};
      return false;
    }
    const std::size_t below = walk.folders.size();
    walk.folders.push_back({index, entry.name, path});
    if (!walkBelow(*inside, below, walk, detail)) return false;
  }
  if (listing.endedEarly) walk.stop = WalkStop{walk.folders[index].path, listing.endedEarly};
  return !listing.endedEarly;
}

}  // namespace

Walk walkTree(const Folder& root, ListDetail detail) {
  Walk walk;
  walk.folders.push_back({0, {}, root.path()});
  walkBelow(root, 0, walk, detail);
  return walk;
}

base::Result<const Folder*> FolderChain::open(std::size_t index) {
  if (index == 0) return &root_;
  if (!chain_.empty() && chain_.back().first == index) return &chain_.back().second;
  std::vector<std::size_t> way;  // from `index` up to the root's child
  for (std::size_t at = index; at != 0; at = walk_.folders[at].parent) way.push_back(at);
  std::reverse(way.begin(), way.end());
  std::size_t kept = 0;
  while (kept < chain_.size() && kept < way.size() && chain_[kept].first == way[kept]) ++kept;
  chain_.resize(kept);
  for (std::size_t level = kept; level < way.size(); ++level) {
    const Folder& parent = level == 0 ? root_ : chain_.back().second;
    base::Result<Folder> next = parent.openFolder(walk_.folders[way[level]].name);
    if (!next) return base::fail(next.error());
    chain_.emplace_back(way[level], std::move(*next));
  }
  return &chain_.back().second;
}

}  // namespace aerolith::sys
