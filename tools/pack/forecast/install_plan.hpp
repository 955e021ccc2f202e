// What a start of a launcher carrying a bundle would do to a folder, object by
// object, found without changing anything: the walk and the decisions are the
// launcher's own (sys::walkTree, install::decide), so a plan and a start
// cannot disagree.
#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "bundle/file_entry.hpp"
#include "bundle/loading.hpp"
#include "pack/forecast/start_actions.hpp"

namespace aerolith::pack {

struct PlannedStep {
  StartAction action = StartAction::kKeep;
  std::filesystem::path path;                      // below the folder
  std::shared_ptr<const bundle::FileEntry> entry;  // the bundle's entry of its path, if any
};

// How the folder itself stands.
enum class FolderState {
  kFolder,   // walked
  kMissing,  // a start makes it
  kLink,     // a start removes the link, its target untouched, and makes a folder
};

struct InstallPlan {
  FolderState folder = FolderState::kFolder;
  // The walk's steps in walk order, each folder before what it holds; then the
  // entries written after the walk, in manifest order.
  std::vector<PlannedStep> steps;
  StartCost start;
};

// `bundle` as loading left it. Throws a Failure when `dir` is a file or cannot
// be opened.
InstallPlan planStart(bundle::Bundle bundle, const std::filesystem::path& dir);

}  // namespace aerolith::pack
