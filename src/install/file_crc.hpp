// The CRC-32C of a file already on disk, compared with its manifest entry when
// its last-write time or size differ from the entry's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "diag/progress.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

// Reads the file `name` of `folder` in chunks of 64 KiB into one buffer, at
// most `limit` bytes of it: a file that holds more cannot match an entry of
// that size, and gives nothing as soon as one byte more is read, however large
// it is. A file that cannot be opened (a link among them: what it leads to is
// never read) gives the CRC of no bytes (0); a read error ends the sum there.
// Each chunk is noted as `progress`.
[[nodiscard]] std::optional<std::uint32_t> computeFileCrc32c(const sys::Folder& folder,
                                                             const std::filesystem::path& name,
                                                             std::uint64_t limit,
                                                             diag::Progress& progress);

}  // namespace aerolith::install
