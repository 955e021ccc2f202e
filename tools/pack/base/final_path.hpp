// Where a path really leads: absolute, with every symbolic link (and on Windows
// every junction) on the way resolved.
#pragma once

#include <filesystem>
#include <system_error>

namespace aerolith::pack {

// Empty with `error` set when the path leads nowhere.
std::filesystem::path finalPath(const std::filesystem::path& path, std::error_code& error);

}  // namespace aerolith::pack
