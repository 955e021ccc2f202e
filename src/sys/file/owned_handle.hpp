// The one owner of an open descriptor (POSIX) or kernel handle (Windows), held
// by every object of the file layer that keeps one open: closed exactly once,
// by its last owner, moved but never copied. "None" is -1 on both systems (no
// descriptor; INVALID_HANDLE_VALUE); a failed open leaves its owner closed, so
// the NULL some Windows calls return for "none" never gets in.
#pragma once

#include <cstdint>
#include <system_error>
#include <utility>

#include "base/result.hpp"

namespace aerolith::sys {

class OwnedHandle {
 public:
  using Native = std::intptr_t;  // a descriptor, or a HANDLE's bits
  static constexpr Native kClosed = -1;

  OwnedHandle() = default;
  explicit OwnedHandle(Native native) : native_(native) {}
  OwnedHandle(OwnedHandle&& other) noexcept : native_(other.release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    std::swap(native_, other.native_);  // `other` closes what this held
    return *this;
  }
  ~OwnedHandle() { static_cast<void>(close()); }

  bool isOpen() const { return native_ != kClosed; }
  Native get() const { return native_; }
  Native release() { return std::exchange(native_, kClosed); }

  // Closes it now; a closed owner stays closed without an error. Fails when
  // the system reports that the close failed, which for a written file means
  // its content may not have reached the disk.
  base::Result<void> close() { return isOpen() ? closeNative(release()) : base::Result<void>(); }

 private:
  static base::Result<void> closeNative(Native native);

  Native native_ = kClosed;
};

}  // namespace aerolith::sys
