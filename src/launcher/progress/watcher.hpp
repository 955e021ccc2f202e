// The progress window of a long start, on a thread of its own that polls the
// synchronisation pass's counters, so that the pass never waits for it. It is
// closed before the application starts and before any fatal dialog, which then
// look as they would without it and stay the only windows to answer.
#pragma once

#include "install/sync_progress.hpp"

namespace aerolith::launcher {

// Starts watching the counters the synchronisation pass publishes into, which
// must live as long as the process. Once per process. A thread that cannot be
// created throws, and that ends in the crash handler.
void startProgressWatcher(const install::SyncProgress& progress);

// Any thread, any number of times, with or without a start: when it returns,
// the window is gone from the screen and never shows again. Before the window
// ever began to show, that costs nothing; afterwards its thread closes it
// within a poll, or if it has not within two seconds (a system call of the
// window hangs), the window is hidden instead, so that a fatal dialog is never
// held up. Not for the crash reporter, which may run on
// the window's own thread and calls sys::hideProgressWindowsNow() instead.
void closeProgressWindow();

}  // namespace aerolith::launcher
