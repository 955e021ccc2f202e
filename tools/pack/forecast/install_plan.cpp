#include "pack/forecast/install_plan.hpp"

#include <algorithm>

#include <fmt/xchar.h>

#include "install/sync_decision.hpp"
#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "sys/fs/directory_walk.hpp"

namespace aerolith::pack {
namespace fs = std::filesystem;
namespace {

StartAction actionOf(install::Verdict verdict) {
  switch (verdict) {
    case install::Verdict::kDirectory:
      return StartAction::kFolder;
    case install::Verdict::kProtected:
      return StartAction::kProtected;
    case install::Verdict::kUnlisted:
      return StartAction::kRemove;
    case install::Verdict::kIntact:
      return StartAction::kKeep;
    case install::Verdict::kRestamp:
      return StartAction::kRestamp;
    case install::Verdict::kRewrite:
      return StartAction::kRewrite;
  }
  return StartAction::kKeep;
}

// The path without a trailing separator, as a launcher names its install
// folder, so that the walk's paths are the folder's, a separator and the rest.
fs::path withoutTrailingSeparator(const fs::path& dir) {
  const fs::path normal = dir.lexically_normal();
  return normal.filename().empty() && normal.has_relative_path() ? normal.parent_path() : normal;
}

// The folder's own kind, a link seen as a link; its parent is where a start
// finds it.
sys::ObjectKind kindOfFolder(const fs::path& dir) {
  const fs::path absolute = withoutTrailingSeparator(fs::absolute(dir));
  const base::Result<sys::Folder> parent = sys::Folder::open(absolute.parent_path());
  if (!parent) return sys::ObjectKind::kMissing;
  const base::Result<sys::ObjectKind> kind = parent->kindOf(absolute.filename());
  if (!kind) {
    throw Failure(fmt::format(L"cannot read {}: {}", quoted(dir), describe(kind.error())));
  }
  return *kind;
}

// The walk pass: each walked object decided as a start decides it, the entries
// it settles taken out of the map as a start takes them.
void planWalk(const sys::Folder& folder, bundle::FilesMap& files, InstallPlan& plan) {
  const install::ProtectedNames protectedNames = install::protectedConfigNames();
  diag::Progress unwatched;  // a tool's work has no watchdog
  const sys::Walk walk = sys::walkTree(folder);
  sys::FolderChain folders(folder, walk);
  const std::size_t prefix = folder.path().native().size() + 1;
  for (const sys::WalkEntry& existing : walk.entries) {
    const base::Result<const sys::Folder*> holder = folders.open(existing.folder);
    if (!holder) continue;  // gone since it was listed, like a start would find it
    const install::Decision decision =
        install::decide(folder.path(), **holder, existing, files, protectedNames, unwatched);
    PlannedStep step{actionOf(decision.verdict),
                     fs::path(walk.pathOf(existing).native().substr(prefix)), nullptr};
    if (decision.entry != files.end()) {
      step.entry = decision.entry->second;
      files.erase(decision.entry);
    }
    plan.steps.push_back(std::move(step));
  }
}

}  // namespace

InstallPlan planStart(bundle::Bundle bundle, const fs::path& given) {
  const fs::path dir = withoutTrailingSeparator(given);
  InstallPlan plan{FolderState::kFolder, {}, StartCost(bundle.view.payload().size())};
  switch (kindOfFolder(dir)) {
    case sys::ObjectKind::kMissing:
      plan.folder = FolderState::kMissing;
      break;
    case sys::ObjectKind::kLink:
      plan.folder = FolderState::kLink;
      break;
    case sys::ObjectKind::kFile:
      throw Failure(fmt::format(L"{} is a file, where a launcher would need its install folder",
                                quoted(dir)));
    case sys::ObjectKind::kDirectory: {
      const base::Result<sys::Folder> folder = sys::Folder::open(dir);
      if (!folder) {
        throw Failure(fmt::format(L"cannot open {}: {}", quoted(dir), describe(folder.error())));
      }
      planWalk(*folder, bundle.files, plan);
      break;
    }
  }
  std::vector<std::shared_ptr<const bundle::FileEntry>> remaining;
  for (const auto& [path, entry] : bundle.files) remaining.push_back(entry);
  std::sort(remaining.begin(), remaining.end(),
            [](const auto& a, const auto& b) { return a->index < b->index; });
  for (auto& entry : remaining) {
    plan.steps.push_back({StartAction::kWrite, entry->relativePath.toFileSystemPath(), entry});
  }
  for (const PlannedStep& step : plan.steps) plan.start.add(step.action, step.entry.get());
  return plan;
}

}  // namespace aerolith::pack
