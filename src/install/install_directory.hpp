// Chooses the per-user folder that holds the installed application: the first
// candidate that exists or can be created and that passes the access probe.
#pragma once

#include <filesystem>
#include <vector>

#include "sys/folder.hpp"

namespace aerolith::install {

// Tries "<root>/Aerolith" for each root in order, creating it (one level) when
// missing, and returns the first that passes the access probe, held open as
// the probe found it; closed when none does. A folder this call created and
// then abandoned is removed again if it is still empty; nothing else of an
// abandoned candidate is touched.
sys::Folder firstUsableInstallDirectory(const std::vector<std::filesystem::path>& roots);

// The install directory, chosen from the local application-data folders and the
// parent of the launcher's folder; closed when no candidate is usable.
sys::Folder selectInstallDirectory();

}  // namespace aerolith::install
