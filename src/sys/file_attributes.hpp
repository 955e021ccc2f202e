// Clears what would keep the launcher from replacing or removing an entry of
// the install directory.
#pragma once

#include <filesystem>
#include <system_error>

namespace aerolith::sys {

// Windows: SetFileAttributesW with FILE_ATTRIBUTE_NORMAL, which clears the
// read-only, hidden, system and archive attributes. POSIX: makes the entry
// writable by its owner. On failure `error` holds the system's error. Not
// meant for links: on POSIX, and under Wine, the change would reach the link's
// target.
void setNormalAttributes(const std::filesystem::path& path, std::error_code& error);

}  // namespace aerolith::sys
