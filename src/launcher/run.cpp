#include "launcher/run.hpp"

#include <variant>

#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"
#include "install/install_directory.hpp"
#include "install/synchronise.hpp"
#include "launcher/crash_handler.hpp"
#include "launcher/fatal_dialog.hpp"
#include "launcher/instance_guards.hpp"
#include "launcher/process_state.hpp"
#include "launcher/progress/watcher.hpp"
#include "launcher/target_launch.hpp"
#include "launcher/texts/exit_codes.hpp"
#include "launcher/texts/messages.hpp"
#include "launcher/watchdog.hpp"
#include "sys/fs/folder.hpp"
#include "sys/fs/path.hpp"
#include "sys/process/library_search.hpp"

namespace aerolith::launcher {
namespace {

constexpr auto kTag = L"Main";

[[noreturn]] void showSyncFailureAndExit(const install::SyncFailure& failure) {
  if (const auto* corrupt = std::get_if<bundle::ErrorTriple>(&failure))
    showCorruptAndExit(*corrupt);
  const auto& unwritten = std::get<install::WriteFailure>(failure);
  showFatalAndExit(messages::kWriteFileFailed, sys::wideFromPath(unwritten.file));
}

void endRun() {
  endRunBookkeeping();
  AEROLITH_TRACE(kTag, L"final");
}

}  // namespace

int run(sys::ModuleHandle module) {
  sys::restrictLibrarySearch();
  diag::installLoggerFromEnvironment();
  installCrashHandler();
  if (anotherLauncherRuns()) return kExitLauncherRunning;
  if (handedOffToRunningApplication()) return kExitApplicationRunning;
  // The run's one progress channel: its signs of life keep the watchdog quiet,
  // its counters feed the progress window. Read from their threads until exit.
  static install::SyncProgress progress;
  startWatchdog(progress);

  base::Result<sys::Folder> selected = install::selectInstallDirectory(progress);
  if (!selected) showFatalAndExit(messages::kWorkingDirectoryInaccessible);
  const sys::Folder installFolder = std::move(*selected);

  // The folder is listed while the bundle loads; nothing changes before both are done.
  install::ListingAhead listing(installFolder);
  bundle::Bundle bundle;
  if (const bundle::Status loaded = bundle::loadBundle(module, bundle, progress); !loaded) {
    showCorruptAndExit(loaded.error());
  }
  const install::ProtectedNames protectedNames = install::protectedConfigNames();

  startProgressWatcher(progress);
  if (const install::SyncStatus synced =
          install::synchroniseInstallDirectory(installFolder, listing, bundle, protectedNames,
                                               install::defaultDecodingThreads(), progress);
      !synced) {
    showSyncFailureAndExit(synced.error());
  }
  closeProgressWindow();

  if (const StartStatus started = launchTarget(installFolder); !started) {
    showFatalAndExit(messages::kFailedToStartProcess, started.error().processError,
                     started.error().shellError, sys::wideFromPath(installFolder.path()));
  }
  endRun();
  return kExitStarted;
}

}  // namespace aerolith::launcher
