// Whether this run holds more rights than its user ordinarily has: an elevated
// (administrator) process on Windows, root on POSIX. Such a run must not
// follow what a less trusted process may have planted for it.
#pragma once

namespace aerolith::sys {

// True for an elevated run. True as well when the process token cannot be
// read: a run that cannot tell is treated as the more trusted one.
bool isElevatedRun();

}  // namespace aerolith::sys
