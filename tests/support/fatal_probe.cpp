// fatal_probe CASE [ARGS...]: raises one of the launcher's fatal dialogs the way
// the launcher does, so that scenarios can check the box and the exit code of a
// real process. The trace logger is installed from the environment as usual.
//
//   corrupt STAGE D1 D2        "Embedded resources corrupt", three signed numbers
//   corrupt-crc STAGE C S      the same with two unsigned CRC values
//   directory                  "Program working directory inaccessible"
//   write PATH                 "Write file failed"
//   start E1 E2 DIR            "Failed to start process"
//   timeout                    "Timed out"
//   race                       "Timed out" from a second thread while the main
//                              thread keeps logging
//   log                        logs a text that no single-byte code page holds,
//                              then "after"; exits with 0
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "diag/trace_logger.hpp"
#include "launcher/fatal_dialog.hpp"
#include "launcher/texts/messages.hpp"
#include "sys/ipc/named_mutex.hpp"
#include "text/utf.hpp"

namespace {

using namespace aerolith;
using launcher::showFatalAndExit;
namespace messages = launcher::messages;

std::int32_t signedArg(const char* text) {
  return static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
}
std::uint32_t unsignedArg(const char* text) {
  return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
  diag::installLoggerFromEnvironment();
  launcher::launcherMutex = sys::createOwnedMutex(L"aerolith-fatal-probe").handle;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto need = [&](std::size_t count) {
    if (args.size() < count + 1) std::exit(2);
  };
  need(0);
  const std::string& kind = args[0];
  if (kind == "corrupt") {
    need(3);
    showFatalAndExit(messages::kEmbeddedResourcesCorrupt, signedArg(argv[2]), signedArg(argv[3]),
                     signedArg(argv[4]));
  }
  if (kind == "corrupt-crc") {
    need(3);
    showFatalAndExit(messages::kEmbeddedResourcesCorrupt, signedArg(argv[2]), unsignedArg(argv[3]),
                     unsignedArg(argv[4]));
  }
  if (kind == "directory") showFatalAndExit(messages::kWorkingDirectoryInaccessible);
  if (kind == "write") {
    need(1);
    showFatalAndExit(messages::kWriteFileFailed, text::fromUtf8(args[1]));
  }
  if (kind == "start") {
    need(3);
    showFatalAndExit(messages::kFailedToStartProcess, unsignedArg(argv[2]), unsignedArg(argv[3]),
                     text::fromUtf8(args[3]));
  }
  if (kind == "timeout") showFatalAndExit(messages::kTimedOut);
  if (kind == "race") {
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      showFatalAndExit(messages::kTimedOut);
    }).detach();
    for (std::int64_t i = 0;; ++i) AEROLITH_TRACE(L"Main", L"busy {}", i);
  }
  if (kind == "log") {
    AEROLITH_TRACE(L"Main", L"user '{}'", L"J\u00e9r\u00f4me \u65e5\u672c \U0001F600");
    AEROLITH_TRACE(L"Main", L"after");
    return 0;
  }
  return 2;
}
