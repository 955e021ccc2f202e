#include "pack/forecast/release_diff.hpp"

#include <unordered_map>

#include "install/sync_decision.hpp"

namespace aerolith::pack {
namespace {

// The entries a launcher installs, by path.
std::unordered_map<bundle::BundlePath, const bundle::FileEntry*> installedEntries(
    const LoadedBundle& bundle) {
  std::unordered_map<bundle::BundlePath, const bundle::FileEntry*> entries;
  for (const bundle::FileEntry& entry : bundle.entries()) {
    entries.try_emplace(entry.relativePath, &entry);
  }
  return entries;
}

bool isProtected(const install::ProtectedNames& names, const bundle::FileEntry& entry) {
  return names.contains(bundle::BundlePath(entry.name));
}

// What the walk of a start decides about the old release's file, installed
// with its time, for the new release's entry of the same path: the same
// questions in the same order.
StartAction startFor(const bundle::FileEntry& installed, const bundle::FileEntry& entry) {
  if (installed.fileTime == entry.fileTime && installed.size == entry.size) {
    return StartAction::kKeep;
  }
  return installed.crc32c == entry.crc32c ? StartAction::kRestamp : StartAction::kRewrite;
}

}  // namespace

std::wstring_view changeName(Change change) {
  switch (change) {
    case Change::kAdded:
      return L"added";
    case Change::kRemoved:
      return L"removed";
    case Change::kChanged:
      return L"changed";
    case Change::kUnchanged:
      return L"unchanged";
  }
  return L"";
}

ReleaseDiff diffReleases(const LoadedBundle& before, const LoadedBundle& after) {
  const install::ProtectedNames protectedNames = install::protectedConfigNames();
  const auto old = installedEntries(before);
  const auto fresh = installedEntries(after);
  ReleaseDiff diff{{}, StartCost(after.bytes().payload.size())};
  for (const bundle::FileEntry& entry : after.entries()) {
    if (fresh.at(entry.relativePath) != &entry) continue;
    EntryDiff step;
    step.change = Change::kAdded;
    step.after = &entry;
    if (const auto found = old.find(entry.relativePath); found != old.end()) {
      const bundle::FileEntry& installed = *found->second;
      step.before = &installed;
      step.size = installed.size != entry.size;
      step.content = step.size || installed.crc32c != entry.crc32c;
      step.time = installed.fileTime != entry.fileTime;
      step.change = step.content || step.time ? Change::kChanged : Change::kUnchanged;
      step.start = startFor(installed, entry);
    }
    // The walk leaves a file of a protected name alone, and its entry with it,
    // so the entries still to write overwrite it on every start.
    if (!step.before || isProtected(protectedNames, entry)) step.start = StartAction::kWrite;
    diff.entries.push_back(step);
  }
  for (const bundle::FileEntry& entry : before.entries()) {
    if (old.at(entry.relativePath) != &entry || fresh.contains(entry.relativePath)) continue;
    EntryDiff step;
    step.change = Change::kRemoved;
    step.before = &entry;
    step.start =
        isProtected(protectedNames, entry) ? StartAction::kProtected : StartAction::kRemove;
    diff.entries.push_back(step);
  }
  for (const EntryDiff& step : diff.entries) diff.start.add(step.start, step.after);
  return diff;
}

}  // namespace aerolith::pack
