// The recursive listing of a folder, collected whole before anything in it
// changes: each folder before its contents, and links listed but never entered.
#pragma once

#include <filesystem>
#include <vector>

#include "sys/file_objects.hpp"

namespace aerolith::sys {

struct WalkEntry {
  std::filesystem::path path;           // the walked folder, then the sub-folders and the name
  ObjectKind kind = ObjectKind::kFile;  // as the listing reported it; never kMissing
};

// Every entry below `root`, depth first, within a folder in the order the file
// system lists them. An error while opening a folder or reading its next entry
// ends the walk there, silently: the entries met before are returned. A missing
// root gives an empty list.
std::vector<WalkEntry> listTree(const std::filesystem::path& root);

}  // namespace aerolith::sys
