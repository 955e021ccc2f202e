// Between OwnedHandle and the Windows calls, for the file layer's Windows code.
#pragma once

#include <windows.h>

#include "sys/file/owned_handle.hpp"

namespace aerolith::sys {

inline HANDLE nativeHandle(const OwnedHandle& handle) {
  return reinterpret_cast<HANDLE>(handle.get());
}

// Takes what a successful open returned.
inline OwnedHandle ownHandle(HANDLE handle) {
  return OwnedHandle(reinterpret_cast<OwnedHandle::Native>(handle));
}

}  // namespace aerolith::sys
