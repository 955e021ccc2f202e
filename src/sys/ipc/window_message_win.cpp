#include <windows.h>

#include "sys/ipc/window_message.hpp"

namespace aerolith::sys {

void postWindowMessage(std::intptr_t window, std::uint32_t message) {
  PostMessageW(reinterpret_cast<HWND>(window), message, 0, 0);
}

}  // namespace aerolith::sys
