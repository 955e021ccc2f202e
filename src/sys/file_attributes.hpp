// Clears what would keep the launcher from replacing or removing an entry of
// the install directory.
#pragma once

#include <filesystem>
#include <system_error>

namespace aerolith::sys {

// Windows: SetFileAttributesW with FILE_ATTRIBUTE_NORMAL, which clears the
// read-only, hidden, system and archive attributes. POSIX: makes the entry
// writable by its owner. Returns the system's error, if any. Not meant for
// links: on POSIX, and under Wine, the change would reach the link's target.
std::error_code setNormalAttributes(const std::filesystem::path& path);

}  // namespace aerolith::sys
