// The signal that carries a posted window message on POSIX, for the receiving
// side. Its default action is to ignore it, so a stale process id that now
// names an unrelated process cannot end that process.
#pragma once

#include <csignal>

namespace aerolith::sys {

inline constexpr int kWindowMessageSignal = SIGURG;

}  // namespace aerolith::sys
