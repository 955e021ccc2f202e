// What changes between two releases' bundles, entry by entry under the
// launcher's key rules, and what a start of the new launcher does on an install
// of the old release that is up to date.
#pragma once

#include <string>
#include <vector>

#include "pack/bundle/bundle_check.hpp"
#include "pack/forecast/start_actions.hpp"

namespace aerolith::pack {

enum class Change { kAdded, kRemoved, kChanged, kUnchanged };

struct EntryDiff {
  Change change = Change::kUnchanged;
  const bundle::FileEntry* before = nullptr;  // the old release's entry; none when added
  const bundle::FileEntry* after = nullptr;   // the new release's entry; none when removed
  bool content = false;                       // CRC-32C or size differs
  bool size = false;
  bool time = false;
  StartAction start = StartAction::kKeep;

  const bundle::FileEntry& either() const { return after != nullptr ? *after : *before; }
  // Changed content that a start never sees: the old file keeps its time and
  // size, so it is trusted unread.
  bool keptStale() const { return content && start == StartAction::kKeep; }
};

struct ReleaseDiff {
  std::vector<EntryDiff> entries;  // the new release's in its order, then the removed ones
  StartCost start;
};

// Of entries with one path only the first counts, as only it is installed.
ReleaseDiff diffReleases(const LoadedBundle& before, const LoadedBundle& after);

// "added", "removed", "changed", "unchanged".
std::wstring_view changeName(Change change);

}  // namespace aerolith::pack
