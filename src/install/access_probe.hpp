// Proves by experiment that a folder can hold the installation: list it, create
// and delete a subfolder, write, measure, read back and delete a file.
#pragma once

#include <filesystem>

namespace aerolith::install {

// True when every step succeeded in `dir`. Removes what earlier interrupted
// probes left there first. A plain file at `dir` is deleted (so that a later
// start can create the folder) and the probe fails. Never throws.
bool probeDirectoryAccess(const std::filesystem::path& dir);

}  // namespace aerolith::install
