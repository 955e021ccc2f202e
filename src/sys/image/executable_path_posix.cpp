#include "sys/image/executable_path.hpp"
#include "sys/internal/link_text_posix.hpp"

namespace aerolith::sys {

std::filesystem::path currentExecutablePath(std::error_code& error) {
  return std::filesystem::path(readLinkText("/proc/self/exe", error));
}

}  // namespace aerolith::sys
