// Bounds the length of a run: ten seconds after it was started, unless the run
// has ended or a fatal dialog is already on screen, it raises "Timed out". It
// never stops the main thread; it only watches the process-wide flags.
#pragma once

namespace aerolith::launcher {

// Starts the watchdog on a thread of its own and detaches it at once. A thread
// that cannot be created throws, and that ends in the crash handler.
void startWatchdog();

}  // namespace aerolith::launcher
