#include "sys/file/output_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sys/file/file_time.hpp"
#include "sys/internal/last_error_posix.hpp"
#include "sys/internal/posix_io.hpp"

namespace aerolith::sys {

base::Result<void> OutputFile::write(std::span<const std::uint8_t> bytes) {
  errno = 0;
  if (writeAll(static_cast<int>(handle_.get()), bytes.data(), bytes.size())) return {};
  // A write that took no byte without an error means the disk is full.
  if (errno == 0) return base::fail(std::make_error_code(std::errc::no_space_on_device));
  return lastError();
}

}  // namespace aerolith::sys
