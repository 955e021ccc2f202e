#include "launcher/run.hpp"

#include <filesystem>
#include <variant>

#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"
#include "install/install_directory.hpp"
#include "install/synchronise.hpp"
#include "launcher/crash_handler.hpp"
#include "launcher/exit_codes.hpp"
#include "launcher/fatal_dialog.hpp"
#include "launcher/instance_guards.hpp"
#include "launcher/messages.hpp"
#include "launcher/process_state.hpp"
#include "launcher/target_launch.hpp"
#include "launcher/watchdog.hpp"
#include "sys/path.hpp"

namespace aerolith::launcher {
namespace {

constexpr auto kTag = L"Main";

[[noreturn]] void fatalSyncFailure(const install::SyncFailure& failure) {
  if (const auto* corrupt = std::get_if<bundle::ErrorTriple>(&failure)) fatalCorrupt(*corrupt);
  const auto& unwritten = std::get<install::WriteFailure>(failure);
  fatalDialog(messages::kWriteFileFailed, sys::wideFromPath(unwritten.file));
}

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
  if (installDirectory.empty()) fatalDialog(messages::kWorkingDirectoryInaccessible);

  bundle::Bundle bundle;
  if (const auto corrupt = bundle::loadBundle(module, bundle)) fatalCorrupt(*corrupt);
  const install::ProtectedNames protectedNames = install::protectedConfigNames();

  if (const auto failure =
          install::synchroniseInstallDirectory(installDirectory, bundle, protectedNames)) {
    fatalSyncFailure(*failure);
  }

  if (const auto failure = launchTarget(installDirectory)) {
    fatalDialog(messages::kFailedToStartProcess, failure->processError, failure->shellError,
                sys::wideFromPath(installDirectory));
  }
  endRun();
  return kExitStarted;
}

}  // namespace aerolith::launcher
