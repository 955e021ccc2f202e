// The full file name of the running executable, read from the system.
#pragma once

#include <filesystem>
#include <system_error>

namespace aerolith::sys {

// Empty, with `error` set, when the name could not be read whole: a name cut
// short would point somewhere else.
[[nodiscard]] std::filesystem::path currentExecutablePath(std::error_code& error);

}  // namespace aerolith::sys
