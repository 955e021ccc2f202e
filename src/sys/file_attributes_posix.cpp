#include "sys/file_attributes.hpp"

#include <sys/stat.h>

#include "sys/last_error_posix.hpp"

namespace aerolith::sys {

// An entry that is already writable by its owner is left alone, so that a
// start on an intact installation changes nothing.
void setNormalAttributes(const std::filesystem::path& path, std::error_code& error) {
  error.clear();
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    error = lastErrorCode();
    return;
  }
  if (S_ISLNK(status.st_mode) || (status.st_mode & S_IWUSR) != 0) return;
  if (::chmod(path.c_str(), (status.st_mode & 07777) | S_IWUSR) != 0) error = lastErrorCode();
}

}  // namespace aerolith::sys
