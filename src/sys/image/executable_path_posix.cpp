#include "sys/image/executable_path.hpp"
#include "sys/internal/link_text_posix.hpp"

namespace aerolith::sys {

base::Result<std::filesystem::path> currentExecutablePath() {
  base::Result<std::string> text = readLinkText("/proc/self/exe");
  if (!text) return base::fail(text.error());
  return std::filesystem::path(std::move(*text));
}

}  // namespace aerolith::sys
