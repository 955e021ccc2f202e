// The folder that 'pack' writes a bundle into.
#pragma once

#include <filesystem>

namespace aerolith::pack {

// Checks, before any long work, that `outDir` may take manifest.bin and
// payload.bin: missing or empty (the temporary files of an interrupted pack
// aside). A folder holding anything else, an earlier bundle included, is
// refused unless `force`, and a file always. Throws a Failure naming what is
// in the way.
void checkBundleFolder(const std::filesystem::path& outDir, bool force);

// Creates `outDir` when missing. Throws a Failure when it cannot.
void makeBundleFolder(const std::filesystem::path& outDir);

}  // namespace aerolith::pack
