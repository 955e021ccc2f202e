#include "launcher/run.hpp"

#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"
#include "install/install_directory.hpp"
#include "install/synchronise.hpp"
#include "launcher/crash_handler.hpp"
#include "launcher/exit_codes.hpp"
#include "launcher/instance_guards.hpp"
#include "launcher/process_state.hpp"
#include "launcher/progress_watcher.hpp"
#include "launcher/target_launch.hpp"
#include "launcher/watchdog.hpp"

namespace aerolith::launcher {
namespace {

constexpr auto kTag = L"Main";

void endRun() {
  sys::releaseMutex(launcherMutex);
  runningFlag.store(false);
  AEROLITH_TRACE(kTag, L"final");
}

}  // namespace

int run(sys::ModuleHandle module) {
  diag::installLoggerFromEnvironment();
  installCrashHandler();
  if (anotherLauncherRuns()) return kExitLauncherRunning;
  if (handedOffToRunningApplication()) return kExitApplicationRunning;
  startWatchdog();
  const std::filesystem::path installDirectory = install::selectInstallDirectory();
  bundle::FilesMap files = bundle::loadBundle(module);
  const install::ProtectedNames protectedNames = install::protectedConfigNames();
  startProgressWatcher();
  install::synchroniseInstallDirectory(installDirectory, files, protectedNames);
  closeProgressWindow();
  launchTarget(installDirectory);
  endRun();
  return kExitStarted;
}

}  // namespace aerolith::launcher
