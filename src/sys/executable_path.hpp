// The full file name of the running executable, read from the system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace aerolith::sys {

struct ExecutablePath {
  std::optional<std::filesystem::path> path;  // nothing when it could not be read whole
  std::uint32_t error = 0;                    // then the system's error code
};

ExecutablePath currentExecutablePath();

}  // namespace aerolith::sys
