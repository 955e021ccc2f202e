// What the synchronisation pass tells a progress display while it works: which
// activity it performs, and how many bytes it has written out of how many it
// has decided to write; and, as every diag::Progress, its signs of life for the
// watchdog. The pass only stores; a display polls from a thread of its own, so
// the pass never waits for it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "diag/progress.hpp"

namespace aerolith::install {

enum class SyncActivity : std::uint8_t { kInstall, kUpdate, kRepair };

// Decided once the install directory has been listed, before anything is
// written: a first install when none of the bundle's files was there, an update
// when most of them were, a repair otherwise.
constexpr SyncActivity chooseActivity(std::size_t bundleFiles, std::size_t filesFound) {
  if (filesFound == 0) return SyncActivity::kInstall;
  return filesFound > bundleFiles - filesFound ? SyncActivity::kUpdate : SyncActivity::kRepair;
}

struct SyncProgressSnapshot {
  std::uint64_t written = 0;
  std::uint64_t toWrite = 0;  // everything decided so far, the written bytes included
  SyncActivity activity = SyncActivity::kRepair;
};

class SyncProgress : public diag::Progress {
 public:
  void setActivity(SyncActivity activity) { activity_.store(activity, std::memory_order_relaxed); }

  // Called before the bytes of a file are written: they join the run's work.
  void willWrite(std::uint64_t bytes) { toWrite_.fetch_add(bytes, std::memory_order_release); }

  // Called once they are on disk.
  void wrote(std::uint64_t bytes) { written_.fetch_add(bytes, std::memory_order_release); }

  // Any thread. `written` is read first, so a snapshot never shows more written
  // than announced when every write was announced before it was made.
  SyncProgressSnapshot read() const {
    const std::uint64_t written = written_.load(std::memory_order_acquire);
    return {written, toWrite_.load(std::memory_order_acquire),
            activity_.load(std::memory_order_relaxed)};
  }

 private:
  std::atomic<std::uint64_t> written_{0};
  std::atomic<std::uint64_t> toWrite_{0};
  std::atomic<SyncActivity> activity_{SyncActivity::kRepair};
};

}  // namespace aerolith::install
