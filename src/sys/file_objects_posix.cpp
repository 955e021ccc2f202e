#include "sys/file_objects.hpp"

#include "sys/file_kind_posix.hpp"

// The standard library's POSIX file-system calls already look at links, not
// through them, wherever they remove or use symlink_status.
namespace aerolith::sys {
namespace fs = std::filesystem;

ObjectKind objectKind(const fs::path& path, std::error_code& error) {
  const fs::file_type type = fs::symlink_status(path, error).type();
  if (type == fs::file_type::not_found) error.clear();
  return kindOfFileType(type);
}

bool isDirectoryFollowingLinks(const fs::path& path, std::error_code& error) {
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) error.clear();
  return status.type() == fs::file_type::directory;
}

bool removeObject(const fs::path& path, std::error_code& error) { return fs::remove(path, error); }

std::uintmax_t removeTree(const fs::path& path, std::error_code& error) {
  const std::uintmax_t removed = fs::remove_all(path, error);
  return error ? 0 : removed;
}

}  // namespace aerolith::sys
