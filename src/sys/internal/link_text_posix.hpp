// What a symbolic link holds, read whole, for the links the kernel keeps about
// the process itself (/proc/self/...).
#pragma once

#include <unistd.h>

#include <string>

#include "sys/internal/last_error_posix.hpp"

namespace aerolith::sys {

// Fails when the link cannot be read.
inline base::Result<std::string> readLinkText(const char* link) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(link, buffer.data(), buffer.size());
    if (length < 0) return lastError();
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);  // a text that fills the buffer may be cut short
  }
}

}  // namespace aerolith::sys
