// crash_probe fault|throw main|second
// Restricts the library search and installs the launcher's real crash handler,
// as the launcher does first, and then crashes: an access
// violation (a write to an unmapped address) or a C++ exception that nothing
// catches, on the main thread or on a second thread like the watchdog's. It
// prints "crashing thread N" with the system's id of the thread first.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include "launcher/crash_handler.hpp"
#include "sys/process/library_search.hpp"
#include "sys/process/process.hpp"

namespace {

// Hidden from the optimiser, which would otherwise see through the bad write.
volatile std::uintptr_t unmappedAddress = 16;

void crash(const std::string& kind) {
  std::printf("crashing thread %u\n", static_cast<unsigned>(aerolith::sys::currentThreadId()));
  std::fflush(stdout);
  if (kind == "fault") *reinterpret_cast<volatile int*>(unmappedAddress) = 1;
  if (kind == "throw") throw std::runtime_error("probe failure");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  aerolith::sys::restrictLibrarySearch();
  aerolith::launcher::installCrashHandler();
  const std::string kind = argv[1];
  const std::string thread = argv[2];
  if (thread == "main") crash(kind);
  if (thread == "second") {
    std::thread([kind] { crash(kind); }).detach();
    std::this_thread::sleep_for(std::chrono::minutes(1));
  }
  return 2;
}
