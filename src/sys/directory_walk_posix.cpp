#include "sys/directory_walk.hpp"

#include "sys/file_kind_posix.hpp"

namespace aerolith::sys {
namespace fs = std::filesystem;

// With default options the iterator lists links to folders without entering
// them, and each entry's own type comes from the listing itself.
std::vector<WalkEntry> listTree(const fs::path& root) {
  std::vector<WalkEntry> walked;
  std::error_code error;
  for (fs::recursive_directory_iterator entry(root, error), end; !error && entry != end;
       entry.increment(error)) {
    const fs::file_type type = entry->symlink_status(error).type();
    if (error) break;
    walked.push_back({entry->path(), kindOfFileType(type)});
  }
  return walked;
}

}  // namespace aerolith::sys
