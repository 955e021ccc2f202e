#include "sys/process/process.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace aerolith::sys {

void exitProcess(int code) {
  static std::atomic<bool> exiting{false};
  if (exiting.exchange(true)) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  std::exit(code);
}

}  // namespace aerolith::sys
