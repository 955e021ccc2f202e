#include "sys/file/input_file.hpp"

#include <unistd.h>

#include <cerrno>

#include "sys/internal/last_error_posix.hpp"

namespace aerolith::sys {

base::Result<std::size_t> InputFile::read(std::span<std::uint8_t> into) {
  for (;;) {
    const ssize_t read = ::read(static_cast<int>(handle_.get()), into.data(), into.size());
    if (read >= 0) return static_cast<std::size_t>(read);
    if (errno != EINTR) return lastError();
  }
}

}  // namespace aerolith::sys
