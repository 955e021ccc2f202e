#include "launcher/run.hpp"

#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"
#include "install/install_directory.hpp"
#include "install/synchronise.hpp"
#include "launcher/exit_codes.hpp"
#include "launcher/process_state.hpp"

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
  const std::filesystem::path installDirectory = install::selectInstallDirectory();
  bundle::FilesMap files = bundle::loadBundle(module);
  const install::ProtectedNames protectedNames = install::protectedConfigNames();
  install::synchroniseInstallDirectory(installDirectory, files, protectedNames);
  endRun();
  return kExitStarted;
}

}  // namespace aerolith::launcher
