#include <unistd.h>

#include <cerrno>
#include <string>

#include "sys/executable_path.hpp"

namespace aerolith::sys {

ExecutablePath currentExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {std::nullopt, static_cast<std::uint32_t>(errno)};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(length));
      return {std::filesystem::path(std::move(buffer)), 0};
    }
    buffer.resize(buffer.size() * 2);  // the link may have been cut short
  }
}

}  // namespace aerolith::sys
