#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sys/directory_walk.hpp"

namespace aerolith::sys {
namespace fs = std::filesystem;
namespace {

// The type the listing reports; only file systems that report none cost a query.
ObjectKind kindOf(int folder, const dirent& entry) {
  switch (entry.d_type) {
    case DT_DIR:
      return ObjectKind::kDirectory;
    case DT_LNK:
      return ObjectKind::kLink;
    case DT_UNKNOWN:
      break;
    default:
      return ObjectKind::kFile;
  }
  struct stat status {};
  if (::fstatat(folder, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) return ObjectKind::kFile;
  if (S_ISDIR(status.st_mode)) return ObjectKind::kDirectory;
  return S_ISLNK(status.st_mode) ? ObjectKind::kLink : ObjectKind::kFile;
}

// Lists `folder` (already open as `descriptor`, which this takes over) into
// `walked`, entering sub-folders as they come; false once anything failed.
bool listFolder(int descriptor, const fs::path& folder, std::vector<WalkEntry>& walked) {
  DIR* listing = ::fdopendir(descriptor);
  if (listing == nullptr) {
    ::close(descriptor);
    return false;
  }
  bool complete = true;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) {
      complete = errno == 0;
      break;
    }
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    const ObjectKind kind = kindOf(::dirfd(listing), *entry);
    walked.push_back({folder / entry->d_name, kind});
    if (kind != ObjectKind::kDirectory) continue;
    // O_NOFOLLOW: a folder swapped for a link since it was listed is not entered.
    const int child =
        ::openat(::dirfd(listing), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const fs::path childPath = walked.back().path;  // `walked` grows below
    if (child < 0 || !listFolder(child, childPath, walked)) {
      complete = false;
      break;
    }
  }
  ::closedir(listing);
  return complete;
}

}  // namespace

// Read straight from the listing: the type comes with each name, so a walk over
// an intact installation costs no query per entry.
std::vector<WalkEntry> listTree(const fs::path& root) {
  std::vector<WalkEntry> walked;
  const int descriptor = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor >= 0) listFolder(descriptor, root, walked);
  return walked;
}

}  // namespace aerolith::sys
