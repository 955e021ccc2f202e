// Ends a run that has stopped: once ten seconds have passed without progress
// (from its start, or from the last entry finished or file bytes moved), unless
// the run has ended or a fatal dialog is already on screen, it raises "Timed
// out". It never stops the main thread; it only watches the process-wide flags
// and the run's signs of life.
#pragma once

#include "diag/progress.hpp"

namespace aerolith::launcher {

// Starts the watchdog on a thread of its own and detaches it at once. A thread
// that cannot be created throws, and that ends in the crash handler. `progress`
// must live as long as the process.
void startWatchdog(const diag::Progress& progress);

}  // namespace aerolith::launcher
