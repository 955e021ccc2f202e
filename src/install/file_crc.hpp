// The CRC-32C of a file already on disk, compared with its manifest entry when
// its last-write time or size differ from the entry's.
#pragma once

#include <cstdint>
#include <filesystem>

namespace aerolith::install {

// Reads the file in chunks of 64 KiB into one buffer. A file that cannot be
// opened gives the CRC of no bytes (0); a read error ends the sum there.
std::uint32_t computeFileCrc32c(const std::filesystem::path& path);

}  // namespace aerolith::install
