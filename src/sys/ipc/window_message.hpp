// Telling another program's window something without waiting for it: the
// launcher's hand-off to an application that already runs.
#pragma once

#include <cstdint>

namespace aerolith::sys {

// Posts `message` with both parameters zero to `window` and returns at once; a
// window that is gone is not an error anyone hears of. On POSIX the window is
// the receiving process's id and the message travels as the value of
// kWindowMessageSignal (window_message_posix.hpp).
void postWindowMessage(std::intptr_t window, std::uint32_t message);

}  // namespace aerolith::sys
