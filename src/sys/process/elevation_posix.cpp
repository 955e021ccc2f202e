#include "sys/process/elevation.hpp"

#include <unistd.h>

namespace aerolith::sys {

bool isElevatedRun() { return ::geteuid() == 0; }

}  // namespace aerolith::sys
