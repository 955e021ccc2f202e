// Signs of life for the watchdog: a count that the work of a run raises each
// time it finishes an entry or moves a piece of a file's bytes. The watchdog
// only asks whether the count has changed, so that a run which keeps working is
// not ended for its length alone, while one that is stuck still is.
//
// One object per run, owned by the launcher and handed down to everything that
// may take long; the progress window's counters (install::SyncProgress) are the
// same object. The tools, which nobody watches, pass one that nobody reads.
#pragma once

#include <atomic>
#include <cstdint>

namespace aerolith::diag {

class Progress {
 public:
  // Any thread; cheap enough for every 64 KiB read: one relaxed increment.
  void note() { count_.fetch_add(1, std::memory_order_relaxed); }

  // Only ever raised; its value means nothing beyond having changed.
  const std::atomic<std::uint64_t>& count() const { return count_; }

 private:
  std::atomic<std::uint64_t> count_{0};
};

}  // namespace aerolith::diag
