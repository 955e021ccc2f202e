#include "sys/file/owned_handle.hpp"

#include <unistd.h>

#include "sys/internal/last_error_posix.hpp"

namespace aerolith::sys {

// No retry on EINTR: Linux releases the descriptor whatever close() returns,
// and a second close could hit a descriptor another thread has just opened.
base::Result<void> OwnedHandle::closeNative(Native native) {
  if (::close(static_cast<int>(native)) == 0) return {};
  return base::fail(lastErrorCode());
}

}  // namespace aerolith::sys
