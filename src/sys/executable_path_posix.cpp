#include <unistd.h>

#include <string>

#include "sys/executable_path.hpp"
#include "sys/last_error_posix.hpp"

namespace aerolith::sys {

std::filesystem::path currentExecutablePath(std::error_code& error) {
  error.clear();
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      error = lastErrorCode();
      return {};
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return std::filesystem::path(std::move(buffer));
    }
    buffer.resize(buffer.size() * 2);  // the link may have been cut short
  }
}

}  // namespace aerolith::sys
