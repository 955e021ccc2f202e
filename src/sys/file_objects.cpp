// The folder creations, which both platforms' standard libraries do alike.
#include "sys/file_objects.hpp"

namespace aerolith::sys {

bool createFolder(const std::filesystem::path& path, std::error_code& error) {
  return std::filesystem::create_directory(path, error);
}

bool createFolders(const std::filesystem::path& path, std::error_code& error) {
  return std::filesystem::create_directories(path, error);
}

}  // namespace aerolith::sys
