#include <signal.h>
#include <sys/types.h>

#include <limits>

#include "sys/ipc/window_message.hpp"
#include "sys/ipc/window_message_posix.hpp"

namespace aerolith::sys {

void postWindowMessage(std::intptr_t window, std::uint32_t message) {
  // Only a real process id: sigqueue must never reach a process group.
  if (window <= 0 || window > std::numeric_limits<pid_t>::max()) return;
  sigval value{};
  value.sival_int = static_cast<int>(message);
  ::sigqueue(static_cast<pid_t>(window), kWindowMessageSignal, value);
}

}  // namespace aerolith::sys
