// The one way the POSIX side of the platform layer reports a failed call:
// errno as an error code of the system category.
#pragma once

#include <cerrno>
#include <system_error>

namespace aerolith::sys {

inline std::error_code lastErrorCode() { return {errno, std::system_category()}; }

}  // namespace aerolith::sys
