#include "sys/directory_walk.hpp"

#include "sys/folder_listing_win.hpp"

namespace aerolith::sys {
namespace fs = std::filesystem;
namespace {

// Appends what lies below `folder`; false once the walk has to end.
bool walk(const fs::path& folder, std::vector<WalkEntry>& walked) {
  std::error_code error;
  const std::vector<FolderEntry> entries = listFolder(folder, error);
  const bool complete = !error;
  for (const FolderEntry& entry : entries) {
    const fs::path path = folder / entry.name;
    walked.push_back({path, entry.kind});
    if (entry.kind == ObjectKind::kDirectory && !walk(path, walked)) return false;
  }
  return complete;
}

}  // namespace

std::vector<WalkEntry> listTree(const fs::path& root) {
  std::vector<WalkEntry> walked;
  walk(root, walked);
  return walked;
}

}  // namespace aerolith::sys
