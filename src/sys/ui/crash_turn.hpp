// Who reports a crash: the first thread that crashes. A second thread that
// crashes meanwhile waits for the first to end the process, so that two reports
// never write into one file, and a crash inside the reporter gives up at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "sys/process/process.hpp"

namespace aerolith::sys {

enum class CrashTurn { kReport, kGiveUp, kWait };

// Lock-free, so it may be called from a signal handler.
inline CrashTurn takeCrashTurn() {
  static std::atomic<std::uint32_t> reporter{0};
  const std::uint32_t self = currentThreadId();
  std::uint32_t expected = 0;
  if (reporter.compare_exchange_strong(expected, self)) return CrashTurn::kReport;
  return expected == self ? CrashTurn::kGiveUp : CrashTurn::kWait;
}

}  // namespace aerolith::sys
