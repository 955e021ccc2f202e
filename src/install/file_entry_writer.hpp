// Writing one extracted entry to its file in the install directory: folders
// made, whatever is in the way cleared, the content written and the file
// stamped with the entry's time (FileEntry::writeTo); and that stamp alone.
#pragma once

#include <cstdint>
#include <filesystem>

namespace aerolith::install {

// Sets the file's last-write time to `fileTime` (FILETIME). Best effort: a file
// that cannot be opened for it keeps its time, and nothing is reported.
void updateFileTime(const std::filesystem::path& path, std::uint64_t fileTime);

}  // namespace aerolith::install
