// The one way the Windows side of the platform layer reports a failed call:
// GetLastError() as an error code of the system category.
#pragma once

#include <windows.h>

#include <system_error>

namespace aerolith::sys {

inline std::error_code lastErrorCode() {
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

}  // namespace aerolith::sys
