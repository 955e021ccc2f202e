// The full file name of the running executable, read from the system.
#pragma once

#include <filesystem>
#include <system_error>

#include "base/result.hpp"

namespace aerolith::sys {

// Fails when the name could not be read whole: a name cut short would point
// somewhere else.
base::Result<std::filesystem::path> currentExecutablePath();

}  // namespace aerolith::sys
