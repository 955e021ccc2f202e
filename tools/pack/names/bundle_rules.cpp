#include "pack/names/bundle_rules.hpp"

#include <algorithm>
#include <map>
#include <set>

#include <fmt/xchar.h>

#include "bundle/bundle_path.hpp"
#include "install/sync_decision.hpp"
#include "launcher/target_launch.hpp"
#include "pack/names/file_names.hpp"
#include "pack/names/windows_case.hpp"

namespace aerolith::pack {
namespace {

// The path's components, empty ones (from doubled or outer separators) left out.
std::vector<std::wstring_view> components(std::wstring_view path) {
  std::vector<std::wstring_view> parts;
  while (!path.empty()) {
    const auto end = std::find_if(path.begin(), path.end(), bundle::isPathSeparator);
    const auto length = static_cast<std::size_t>(end - path.begin());
    if (length > 0) parts.push_back(path.substr(0, length));
    path.remove_prefix(std::min(length + 1, path.size()));
  }
  return parts;
}

bool sameOnWindows(std::wstring_view a, std::wstring_view b) {
  return windowsCaseKey(a) == windowsCaseKey(b);
}

}  // namespace

std::wstring componentProblem(std::wstring_view component) {
  if (std::wstring why = windowsNameProblem(component); !why.empty()) return why;
  // The launcher compares these names exactly, but Windows opens the user's
  // file under any spelling: the bundle's would replace it on every start.
  for (const bundle::BundlePath& name : install::protectedConfigNames()) {
    if (sameOnWindows(component, name.text())) {
      return fmt::format(
          L"'{}' is where the user's settings live, which a launcher keeps; the "
          L"bundle's would overwrite them on every start",
          name.text());
    }
  }
  return {};
}

std::wstring placementProblem(std::wstring_view directory, std::wstring_view name) {
  if (!components(directory).empty()) return {};
  for (const std::wstring_view legacy : launcher::kLegacyFileNames) {
    if (sameOnWindows(name, legacy)) {
      return fmt::format(
          L"a launcher removes '{}' after every install as a file of older "
          L"releases, so each start would write it again",
          legacy);
    }
  }
  return {};
}

std::wstring entryPathProblem(std::wstring_view directory, std::wstring_view name) {
  for (const std::wstring_view folder : components(directory)) {
    if (std::wstring why = componentProblem(folder); !why.empty()) {
      return fmt::format(L"the folder '{}': {}", folder, why);
    }
  }
  if (std::wstring why = componentProblem(name); !why.empty()) return why;
  return placementProblem(directory, name);
}

std::vector<std::wstring> letterCaseClashes(std::span<const std::wstring> files) {
  // Each path, separators made one, under its Windows key.
  std::map<std::u16string, std::set<std::wstring>> spellings;
  for (const std::wstring& file : files) {
    std::wstring path;
    for (const std::wstring_view component : components(file)) {
      if (!path.empty()) path += L'\\';
      path += component;
      spellings[windowsCaseKey(path)].insert(path);
    }
  }
  std::vector<std::wstring> clashes;
  for (const auto& [key, paths] : spellings) {
    if (paths.size() < 2) continue;
    std::wstring list;
    for (const std::wstring& path : paths) list += (list.empty() ? L"'" : L", '") + path + L"'";
    clashes.push_back(fmt::format(
        L"{} differ only in letter case; a Windows file system holds only one of them", list));
  }
  return clashes;
}

}  // namespace aerolith::pack
