// Chooses the per-user folder that holds the installed application: the first
// candidate that exists or can be created and that passes the access probe.
#pragma once

#include <filesystem>
#include <vector>

#include "diag/progress.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

// What becomes of a link (or junction) standing as the install folder itself.
// One that leads to no folder is removed either way, its target untouched.
enum class FolderLink {
  // Followed: the user's own way of keeping the installation elsewhere, such
  // as on another drive. The run can do there only what its user could.
  kFollowed,
  // Removed as a link, and a real folder made: a less trusted process may have
  // planted it for this run to fill and empty wherever it leads.
  kRemoved,
};

// Tries "<root>/Aerolith" for each root in order, creating it (one level) when
// missing, and returns the first that passes the access probe, held open as
// the probe found it; otherwise the last candidate's failure (a missing file's
// error when there is none). A folder this call created and
// then abandoned is removed again if it is still empty; nothing else of an
// abandoned candidate is touched.
// The probe's pauses are noted as `progress`.
base::Result<sys::Folder> firstUsableInstallDirectory(
    const std::vector<std::filesystem::path>& roots, FolderLink link, diag::Progress& progress);

// The install directory, chosen from the local application-data folders and the
// parent of the launcher's folder; fails as firstUsableInstallDirectory when
// no candidate is usable. A link as the install folder is followed unless the
// run is elevated.
base::Result<sys::Folder> selectInstallDirectory(diag::Progress& progress);

}  // namespace aerolith::install
