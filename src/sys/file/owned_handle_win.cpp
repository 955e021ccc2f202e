#include "sys/file/owned_handle_win.hpp"

#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {

base::Result<void> OwnedHandle::closeNative(Native native) {
  if (::CloseHandle(reinterpret_cast<HANDLE>(native))) return {};
  return lastError();
}

}  // namespace aerolith::sys
