// The one way the Windows side of the platform layer reports a failed call:
// GetLastError() as an error code of the system category.
#pragma once

#include <windows.h>

#include <system_error>

#include "base/result.hpp"

namespace aerolith::sys {

inline std::error_code lastErrorCode() {
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

// The same as a failed Result: `return lastError();`.
inline base::Failure<std::error_code> lastError() { return base::fail(lastErrorCode()); }

}  // namespace aerolith::sys
