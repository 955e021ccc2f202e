// State shared by the launcher's two threads for the whole life of the process.
#pragma once

#include <atomic>

#include "sys/ipc/named_mutex.hpp"

namespace aerolith::launcher {

// True until the run ends, a fatal dialog closes or the watchdog fires; never set
// again. Only the watchdog reads it.
inline std::atomic<bool> runningFlag{true};

// Set just before a fatal dialog is shown; never cleared. Keeps the watchdog from
// raising a second dialog over it.
inline std::atomic<bool> dialogFlag{false};

// The launcher mutex, owned by the main thread; written before the watchdog starts.
inline sys::MutexHandle launcherMutex = nullptr;

// The end of a run, however it ends (started, fatal dialog closed, timed out):
// the running flag first, so that the watchdog can no longer raise a box once
// the mutex lets the next launcher in; then the mutex.
inline void endRunBookkeeping() {
  runningFlag.store(false);
  sys::releaseMutex(launcherMutex);
}

}  // namespace aerolith::launcher
