#include <sys/stat.h>

#include <cerrno>

#include "sys/file_attributes.hpp"

namespace aerolith::sys {

// An entry that is already writable by its owner is left alone, so that a
// start on an intact installation changes nothing.
std::error_code setNormalAttributes(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return {errno, std::system_category()};
  if (S_ISLNK(status.st_mode) || (status.st_mode & S_IWUSR) != 0) return {};
  if (::chmod(path.c_str(), (status.st_mode & 07777) | S_IWUSR) != 0) {
    return {errno, std::system_category()};
  }
  return {};
}

}  // namespace aerolith::sys
