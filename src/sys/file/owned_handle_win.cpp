#include "sys/file/owned_handle_win.hpp"

#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {

std::error_code OwnedHandle::closeNative(Native native) {
  return ::CloseHandle(reinterpret_cast<HANDLE>(native)) ? std::error_code() : lastErrorCode();
}

}  // namespace aerolith::sys
