// Proves by experiment that a folder can hold the installation: list it, create
// and delete a subfolder, write, measure, read back and delete a file.
#pragma once

#include <filesystem>

#include "diag/progress.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

// The folder `dir`, open, when every step succeeded in it; otherwise the
// error of the step that failed (std::errc::io_error where the folder
// misbehaved without a failed call: a file that did not read back as written).
// Removes what earlier interrupted probes left there first, links under their
// names as links. Something at `dir` that is no real folder (a link included,
// which is never followed) is removed, a link as a link, and the probe fails.
// Each pause for another program's passing hold is noted as `progress`.
base::Result<sys::Folder> probeDirectoryAccess(const std::filesystem::path& dir,
                                               diag::Progress& progress);

// The same steps in a folder already open, however it was reached.
base::Result<sys::Folder> probeFolderAccess(sys::Folder folder, diag::Progress& progress);

}  // namespace aerolith::install
