// Which files of an application folder 'pack' takes: what --exclude leaves out
// and what a --files-from list names. Paths are relative to the folder, with
// '/' between folders ('\' in a list or pattern counts the same).
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace aerolith::pack {

class PathFilter {
 public:
  // `excludes` are globs: '*' any run of characters within a name, '?' one
  // character, '**' any run across folders. A pattern without '/' is matched
  // against each name on its own, in any folder; one with '/' against the
  // whole relative path. `listed`, when given, are the only files taken.
  PathFilter(std::vector<std::wstring> excludes, std::optional<std::vector<std::wstring>> listed);

  // True when a file or folder at `relative` is left out by --exclude; a
  // folder left out takes everything in it along.
  bool excluded(std::wstring_view relative) const;

  // True when the file at `relative` is taken: not excluded, and listed when
  // there is a list.
  bool takes(std::wstring_view relative) const;

  // The listed paths that no file of the folder matched.
  std::vector<std::wstring> unmatched(const std::set<std::wstring>& taken) const;

 private:
  std::vector<std::wstring> excludes_;
  std::optional<std::set<std::wstring>> listed_;
};

// A --files-from list: one relative path per line, UTF-8; empty lines and
// lines starting with '#' are skipped, a leading "./" dropped.
std::vector<std::wstring> parseFileList(std::string_view text);

}  // namespace aerolith::pack
