// What a start does with each object it finds in the install directory,
// decided before anything is done to it. The pass acts on these decisions, and
// a tool that predicts a pass makes the same ones, so the two cannot disagree.
#pragma once

#include <filesystem>
#include <unordered_set>

#include "bundle/bundle_path.hpp"
#include "bundle/file_entry.hpp"
#include "diag/progress.hpp"
#include "sys/fs/directory_walk.hpp"

namespace aerolith::install {

// File names that are never removed, at any depth, unless the bundle lists them.
using ProtectedNames = std::unordered_set<bundle::BundlePath>;

// "Config.ini" and "VantorConfig.json", compared exactly (letter case counts).
ProtectedNames protectedConfigNames();

enum class Verdict {
  kDirectory,  // a real folder: left alone, and so is its entry
  kProtected,  // a user's configuration file (or a link of that name): left alone
  kUnlisted,   // no entry has its path: removed, a link as a link
  kIntact,     // same last-write time and size as its entry: kept, never read
  kRestamp,    // same content as its entry: only its time is set
  kRewrite,    // anything else, a link included: written from the bundle
};

struct Decision {
  Verdict verdict = Verdict::kDirectory;
  bundle::FilesMap::iterator entry;  // the entry of its path, for the last three verdicts
};

// Decides about one walked object below `installDirectory`, held by the open
// `folder`, and logs the lines of the deciding (the time and size comparison,
// the CRC check). Uses the time, size and attributes that `existing` carries
// (reading them where it has none) and, when they differ from its entry's,
// the file's link count and its content; changes nothing. A listed file with
// other hard links is rewritten rather than changed in place. Reading a file's
// content is noted as `progress`.
Decision decide(const std::filesystem::path& installDirectory, const sys::Folder& folder,
                const sys::WalkEntry& existing, bundle::FilesMap& files,
                const ProtectedNames& protectedNames, diag::Progress& progress);

}  // namespace aerolith::install
