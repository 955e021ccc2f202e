// The folder that 'pack' writes a bundle into.
#pragma once

#include <filesystem>

namespace aerolith::pack {

// Makes `outDir` ready for manifest.bin and payload.bin: created when missing.
// A folder that holds anything besides an earlier bundle (and the temporary
// files of an interrupted one) is refused unless `force`, and so is a file.
// Throws a Failure naming what is in the way.
void prepareBundleFolder(const std::filesystem::path& outDir, bool force);

}  // namespace aerolith::pack
