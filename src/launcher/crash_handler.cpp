#include "launcher/crash_handler.hpp"

#include "launcher/texts/messages.hpp"
#include "sys/ui/crash_report.hpp"

namespace aerolith::launcher {

void installCrashHandler() {
  sys::installCrashReporter(kCrashDumpFileName, messages::kCrash, messages::kCrashCaption);
}

}  // namespace aerolith::launcher
