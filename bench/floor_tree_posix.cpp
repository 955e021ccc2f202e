#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "floor_tree.hpp"

namespace floor_tree {

Folder::Folder(const std::filesystem::path& path) : path_(path) {
  if (::mkdir(path.c_str(), 0777) == 0) handle_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
}

Folder::~Folder() {
  if (isOpen()) ::close(static_cast<int>(handle_));
}

bool Folder::isOpen() const { return handle_ >= 0; }

bool Folder::createEmpty(const std::filesystem::path& name, std::uint64_t fileTime) {
  const int file = ::openat(static_cast<int>(handle_), name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (file < 0) return false;
  const long long ticks = static_cast<long long>(fileTime) - 116444736000000000LL;
  const struct timespec times[2] = {
      {0, UTIME_OMIT},
      {static_cast<time_t>(ticks / 10'000'000), static_cast<long>(ticks % 10'000'000 * 100)}};
  const bool stamped = ::futimens(file, times) == 0;
  return ::close(file) == 0 && stamped;
}

long long listTree(const std::filesystem::path& root) {
  DIR* folder = ::opendir(root.c_str());
  if (folder == nullptr) return -1;
  long long files = 0;
  while (const dirent* entry = ::readdir(folder)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat status {};
    if (::fstatat(::dirfd(folder), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
      files = -1;
      break;
    }
    if (S_ISDIR(status.st_mode)) {
      const long long below = listTree(root / entry->d_name);
      if (below < 0) {
        files = -1;
        break;
      }
      files += below;
    } else {
      files += 1;
    }
  }
  ::closedir(folder);
  return files;
}

}  // namespace floor_tree
