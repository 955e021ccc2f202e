#include "launcher/fatal_dialog.hpp"

#include "launcher/exit_codes.hpp"
#include "launcher/messages.hpp"
#include "launcher/progress_watcher.hpp"
#include "sys/dialog.hpp"
#include "sys/process.hpp"

namespace aerolith::launcher {

void showFatalMessageAndExit(const std::wstring& message) {
  closeProgressWindow();
  sys::showMessageBox(message, messages::kCaption, sys::DialogIcon::kWarning);
  runningFlag.store(false);
  sys::releaseMutex(launcherMutex);
  sys::exitProcess(kExitFatal);
}

void fatalCorrupt(const bundle::ErrorTriple& error) {
  const auto stage = static_cast<std::int32_t>(error.stage);
  if (error.carriesCrcs()) {
    fatalDialog(messages::kEmbeddedResourcesCorrupt, stage, static_cast<std::uint32_t>(error.first),
                static_cast<std::uint32_t>(error.second));
  }
  fatalDialog(messages::kEmbeddedResourcesCorrupt, stage, static_cast<std::int32_t>(error.first),
              static_cast<std::int32_t>(error.second));
}

}  // namespace aerolith::launcher
