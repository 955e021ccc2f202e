// Whether the process runs on a desktop, where windows other programs open
// (zenity's dialogs) can be seen.
#pragma once

#include <cstdlib>

namespace aerolith::sys {

inline bool hasDesktop() {
  return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
}

}  // namespace aerolith::sys
