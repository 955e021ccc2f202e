// watchdog_probe busy | dialog SECONDS | fatal | finish SECONDS
// Runs the launcher's real watchdog beside a main thread that does not finish
// in time, so that scenarios can see the time-out as a real process shows it.
// The main thread logs "working" every 200 ms while it works.
//   busy            the main thread works until the watchdog's dialog ends the
//                   process
//   dialog SECONDS  a fatal dialog is on screen (the dialog flag is set) while
//                   the main thread works SECONDS, then logs "done" and exits
//                   with 0
//   fatal           the main thread raises a fatal dialog at once
//   finish SECONDS  the main thread works SECONDS, then ends the run as the
//                   launcher does (running flag cleared, "final") and exits
//                   with 0
// The trace logger is installed from the environment as usual.
#include <chrono>
#include <string>
#include <thread>

#include "diag/trace_logger.hpp"
#include "launcher/fatal_dialog.hpp"
#include "launcher/process_state.hpp"
#include "launcher/texts/exit_codes.hpp"
#include "launcher/texts/messages.hpp"
#include "launcher/watchdog.hpp"
#include "sys/process/process.hpp"

namespace {

using namespace aerolith;

void work(std::chrono::steady_clock::duration length) {
  const auto end = std::chrono::steady_clock::now() + length;
  while (std::chrono::steady_clock::now() < end) {
    AEROLITH_TRACE(L"Main", L"working");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

}  // namespace

int main(int argc, char** argv) {
  diag::installLoggerFromEnvironment();
  static const diag::Progress progress;  // never raised: the main thread makes none
  const std::string kind = argc > 1 ? argv[1] : "";
  if (kind == "busy") {
    launcher::startWatchdog(progress);
    for (;;) work(std::chrono::hours(1));
  }
  if (kind == "dialog" && argc > 2) {
    launcher::dialogFlag.store(true);
    launcher::startWatchdog(progress);
    work(std::chrono::seconds(std::stoi(argv[2])));
    AEROLITH_TRACE(L"Main", L"done");
    sys::exitProcess(launcher::kExitStarted);
  }
  if (kind == "fatal") {
    launcher::startWatchdog(progress);
    launcher::showFatalAndExit(launcher::messages::kWorkingDirectoryInaccessible);
  }
  if (kind == "finish" && argc > 2) {
    launcher::startWatchdog(progress);
    work(std::chrono::seconds(std::stoi(argv[2])));
    launcher::runningFlag.store(false);
    AEROLITH_TRACE(L"Main", L"final");
    sys::exitProcess(launcher::kExitStarted);
  }
  return 2;
}
