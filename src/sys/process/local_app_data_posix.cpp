// Stand-ins for the four Windows sources, all taken from the environment so that
// a caller can point each one at a folder of its own: LOCALAPPDATA as on Windows,
// the XDG data folder, its default below the home folder, and a fourth source
// that never answers (Linux has no fourth opinion to ask). Values are used as
// the bytes they are, so no name is changed by a text conversion.
#include <cstdlib>
#include <string_view>

#include "sys/process/local_app_data.hpp"

namespace aerolith::sys {
namespace {

std::string_view environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

}  // namespace

std::vector<std::filesystem::path> localAppDataFolders() {
  std::vector<std::filesystem::path> folders;
  if (const auto folder = environment("LOCALAPPDATA"); !folder.empty()) {
    folders.emplace_back(folder);
  }
  // The XDG rules ignore a relative XDG_DATA_HOME.
  if (const auto folder = environment("XDG_DATA_HOME"); folder.starts_with('/')) {
    folders.emplace_back(folder);
  }
  if (const auto home = environment("HOME"); !home.empty()) {
    folders.push_back(std::filesystem::path(home) / ".local/share");
  }
  return folders;
}

}  // namespace aerolith::sys
