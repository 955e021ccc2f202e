// The synchronisation pass: makes the install directory hold exactly the files
// of the files map, byte for byte and stamped with their times, leaving the
// user's configuration files and every folder in place.
#pragma once

#include <filesystem>
#include <unordered_set>

#include "bundle/bundle_path.hpp"
#include "bundle/file_entry.hpp"

namespace aerolith::install {

// File names that are never removed, at any depth, unless the bundle lists them.
using ProtectedNames = std::unordered_set<bundle::BundlePath>;

// "Config.ini" and "VantorConfig.json", compared exactly (letter case counts).
ProtectedNames protectedConfigNames();

// Walks the install directory once, as it was before any change: keeps each
// listed file whose time and size, or else whose content, match its entry
// (restamping it in the latter case), rewrites the other listed files and
// removes unlisted ones; then writes every entry not met. Entries handled in
// the walk leave `files`. Ends the process through a fatal dialog when the
// bundle is damaged or a file cannot be written.
void synchroniseInstallDirectory(const std::filesystem::path& installDirectory,
                                 bundle::FilesMap& files, const ProtectedNames& protectedNames);

}  // namespace aerolith::install
