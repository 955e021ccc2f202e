// Ends a run that has stopped: once ten seconds have passed without progress
// (from its start, or from the last entry finished or file bytes moved), unless
// the run has ended or a fatal dialog is already on screen, it raises "Timed
// out". It never stops the main thread; it only watches the process-wide flags
// and the progress count.
#pragma once

namespace aerolith::launcher {

// Starts the watchdog on a thread of its own and detaches it at once. A thread
// that cannot be created throws, and that ends in the crash handler.
void startWatchdog();

}  // namespace aerolith::launcher
