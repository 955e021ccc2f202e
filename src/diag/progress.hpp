// Signs of life for the watchdog: a count that the synchronisation pass raises
// each time it finishes an entry or moves a piece of a file's bytes. The
// watchdog only asks whether the count has changed, so that a run which keeps
// working is not ended for its length alone, while one that is stuck still is.
#pragma once

#include <atomic>
#include <cstdint>

namespace aerolith::diag {

// Only ever raised; its value means nothing beyond having changed.
inline std::atomic<std::uint64_t> progressCount{0};

// Cheap enough for every 64 KiB read: one relaxed increment.
inline void noteProgress() { progressCount.fetch_add(1, std::memory_order_relaxed); }

}  // namespace aerolith::diag
