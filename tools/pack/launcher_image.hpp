// The bundle inside a launcher image of this platform: as RCDATA resources of a
// Windows image, or as the resource table appended to a POSIX executable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "pack/bundle_files.hpp"

namespace aerolith::pack {

// The manifest and payload resources of `image`. Throws Failure when the image
// holds no bundle or cannot be read.
BundleBytes readImageBundle(const std::filesystem::path& image);

// Writes a copy of `launcher` to `output` (which may be `launcher` itself) that
// carries the two resources, each once, replacing any bundle it held before.
void embedBundle(const std::filesystem::path& launcher, std::span<const std::uint8_t> manifest,
                 std::span<const std::uint8_t> payload, const std::filesystem::path& output);

}  // namespace aerolith::pack
