#include "install/root_candidates.hpp"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "sys/process/local_app_data.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

// One spelling per path: every separator as `/`, runs collapsed, except the
// two that open a network path (`\\server\share` is not `\server\share`). Built
// by hand because Linux does not take `\` for a separator, and both platforms
// must agree on which roots are the same. Works on the native text, so no name
// is changed by a conversion (in UTF-8 a `\` byte is always that character).
fs::path comparablePath(const fs::path& path) {
  using Char = fs::path::value_type;
  fs::path::string_type text = path.native();
  std::replace(text.begin(), text.end(), Char('\\'), Char('/'));
  const auto doubled = [](Char a, Char b) { return a == Char('/') && b == Char('/'); };
  const auto first = text.starts_with(fs::path::string_type(2, Char('/'))) ? 1 : 0;
  text.erase(std::unique(text.begin() + first, text.end(), doubled), text.end());
  return fs::path(std::move(text));
}

}  // namespace

std::vector<fs::path> uniqueSortedRoots(const std::vector<fs::path>& folders) {
  struct Root {
    fs::path path;
    fs::path key;
  };
  std::vector<Root> roots;
  std::unordered_set<fs::path::string_type> seen;
  for (const fs::path& folder : folders) {
    if (folder.empty()) continue;
    fs::path key = comparablePath(folder);
    if (seen.insert(key.native()).second) roots.push_back({folder, std::move(key)});
  }
  // Paths that compare equal but are spelled apart (on Linux a network path and
  // a rooted one) still get a fixed order.
  std::sort(roots.begin(), roots.end(), [](const Root& a, const Root& b) {
    const int order = a.key.compare(b.key);
    return order != 0 ? order < 0 : a.key.native() < b.key.native();
  });
  std::vector<fs::path> sorted;
  sorted.reserve(roots.size());
  for (Root& root : roots) sorted.push_back(std::move(root.path));
  return sorted;
}

std::vector<fs::path> findLocalAppDataRoots() {
  return uniqueSortedRoots(sys::localAppDataFolders());
}

LauncherFolders launcherFolders(const fs::path& launcherFile) {
  LauncherFolders folders;
  folders.folder = launcherFile.parent_path();
  folders.parent = folders.folder.parent_path();
  return folders;
}

}  // namespace aerolith::install
