#include "launcher/fatal_dialog.hpp"

#include "launcher/exit_codes.hpp"
#include "launcher/messages.hpp"
#include "launcher/progress_watcher.hpp"
#include "sys/dialog.hpp"
#include "sys/process.hpp"

namespace aerolith::launcher {

void showFatalMessageAndExit(const std::wstring& message) {
  closeProgressWindow();
  sys::showMessageBox(message, messages::kCaption, sys::DialogIcon::Warning);
  runningFlag.store(false);
  sys::releaseMutex(launcherMutex);
  sys::exitProcess(kExitFatal);
}

}  // namespace aerolith::launcher
