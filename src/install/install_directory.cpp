#include "install/install_directory.hpp"

#include <optional>
#include <string_view>
#include <system_error>

#include "diag/trace_logger.hpp"
#include "install/access_probe.hpp"
#include "install/root_candidates.hpp"
#include "sys/fs/path.hpp"
#include "sys/image/executable_path.hpp"
#include "sys/process/elevation.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"Main";

constexpr std::wstring_view kProductFolderName = L"Aerolith";

// A start makes the install folder hold the bundle's files alone, removing
// everything else. Through a link that would happen wherever the link leads,
// so a link is followed only where `link` says, and only to a folder; any other
// is removed as a link, its target untouched, so that a real folder is made.
// Returns the folder the link leads to when it is followed; nothing otherwise.
std::optional<sys::Folder> settleLinkAt(const sys::Folder& root, const fs::path& dir,
                                        FolderLink link) {
  if (!root.isOpen()) return std::nullopt;
  const base::Result<sys::ObjectKind> kind = root.kindOf(dir.filename());
  if (!kind || *kind != sys::ObjectKind::kLink) return std::nullopt;
  if (link == FolderLink::kFollowed) {
    base::Result<sys::Folder> target = sys::Folder::open(dir);
    if (target) {
      const base::Result<fs::path> leadsTo = target->finalPath();
      AEROLITH_TRACE(kTag, L"dir: '{}' is a link to '{}', followed, ec = {}",
                     sys::wideFromPath(dir), sys::wideFromPath(leadsTo ? *leadsTo : fs::path()),
                     base::errorOf(leadsTo).value());
      return std::move(*target);
    }
  }
  const base::Result<bool> removed = root.removeObject(dir.filename());
  AEROLITH_TRACE(kTag, L"dir: '{}' is a link, removed, ec = {}", sys::wideFromPath(dir),
                 base::errorOf(removed).value());
  return std::nullopt;
}

// Existing or created, then probed. A folder created here that fails the probe
// is removed again so that no empty folder stays behind, but never recursively:
// whatever is in it by then is not ours to delete, and a probe leftover is
// cleared by the next probe anyway.
base::Result<sys::Folder> tryInstallDirectory(const fs::path& dir, FolderLink link,
                                              diag::Progress& progress) {
  const fs::path name = dir.filename();
  base::Result<sys::Folder> opened = sys::Folder::open(dir.parent_path());
  const std::error_code rootError = base::errorOf(opened);
  const sys::Folder root = opened ? std::move(*opened) : sys::Folder();
  std::optional<sys::Folder> linked = settleLinkAt(root, dir, link);
  std::error_code ec;
  bool exists = false;
  if (root.isOpen()) {
    const base::Result<sys::ObjectKind> kind = root.kindOf(name);
    exists = kind && *kind != sys::ObjectKind::kMissing;
    ec = base::errorOf(kind);
  }
  AEROLITH_TRACE(kTag, L"dir is exists: '{}', exists = {}, ec = {}", sys::wideFromPath(dir), exists,
                 ec.value());
  bool created = false;
  if (!exists) {
    // One level only: a missing root is not created.
    ec = rootError;
    if (root.isOpen()) {
      const base::Result<sys::Folder> made = root.createFolder(name);
      created = made.ok();
      ec = base::errorOf(made);
    }
    AEROLITH_TRACE(kTag, L"create dir: '{}', ec = {}", sys::wideFromPath(dir), ec.value());
  }
  base::Result<sys::Folder> folder = linked ? probeFolderAccess(std::move(*linked), progress)
                                            : probeDirectoryAccess(dir, progress);
  AEROLITH_TRACE(kTag, L"dir: '{}', accessible = {}", sys::wideFromPath(dir), folder.ok());
  if (!folder && created) {
    const base::Result<bool> removed = root.removeObject(name);
    AEROLITH_TRACE(kTag, L"dir: '{}', remove all, ec = {}", sys::wideFromPath(dir),
                   base::errorOf(removed).value());
    AEROLITH_TRACE(kTag, L"");
  }
  return folder;
}

// The launcher-relative fallback root; nothing when the launcher's own file name
// cannot be read whole, since a cut-short name would point somewhere else.
std::optional<fs::path> launcherRelativeRoot() {
  const base::Result<fs::path> launcher = sys::currentExecutablePath();
  if (!launcher) {
    AEROLITH_TRACE(kTag, L"launcher file name unreadable, ec = {}", launcher.error().value());
    return std::nullopt;
  }
  const LauncherFolders folders = launcherFolders(*launcher);
  AEROLITH_TRACE(kTag, L"current path: {}", sys::wideFromPath(folders.folder));
  AEROLITH_TRACE(kTag, L"current dir: {}", sys::wideFromPath(folders.parent));
  return folders.parent;
}

}  // namespace

base::Result<sys::Folder> firstUsableInstallDirectory(const std::vector<fs::path>& roots,
                                                      FolderLink link, diag::Progress& progress) {
  base::Result<sys::Folder> folder =
      base::fail(std::make_error_code(std::errc::no_such_file_or_directory));
  for (const fs::path& root : roots) {
    folder = tryInstallDirectory(root / kProductFolderName, link, progress);
    if (folder) break;
  }
  return folder;
}

base::Result<sys::Folder> selectInstallDirectory(diag::Progress& progress) {
  std::vector<fs::path> roots = findLocalAppDataRoots();
  if (auto fallback = launcherRelativeRoot()) roots.push_back(std::move(*fallback));
  return firstUsableInstallDirectory(
      roots, sys::isElevatedRun() ? FolderLink::kRemoved : FolderLink::kFollowed, progress);
}

}  // namespace aerolith::install
