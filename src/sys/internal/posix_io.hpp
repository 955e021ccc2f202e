// Whole writes on POSIX descriptors, retried after signals and short writes.
// Async-signal-safe: the crash report writes with it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace aerolith::sys {

// True when all `size` bytes were written.
[[nodiscard]] inline bool writeAll(int fd, const void* data, std::size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t put = ::write(fd, next, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    next += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace aerolith::sys
