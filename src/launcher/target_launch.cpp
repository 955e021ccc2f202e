#include "launcher/target_launch.hpp"

#include <system_error>

#include <fmt/xchar.h>

#include "diag/trace_logger.hpp"
#include "sys/fs/path.hpp"
#include "sys/process/process_launch.hpp"

namespace aerolith::launcher {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"Main";

// System error codes print as the unsigned numbers the system defines.
std::uint32_t codeOf(const std::error_code& error) {
  return static_cast<std::uint32_t>(error.value());
}

// The launch strings live only as long as the attempts: they are gone before
// a failure is reported.
StartStatus startTarget(const fs::path& installDirectory) {
  const std::wstring target = sys::wideFromPath(installDirectory / kTargetName);
  sys::LaunchStrings strings{target, fmt::format(L"\"{}\"", target),
                             sys::wideFromPath(installDirectory)};
  AEROLITH_TRACE(kTag, L"path: '{}'", strings.applicationName);
  AEROLITH_TRACE(kTag, L"cmd: '{}'", strings.commandLine);
  const base::Result<void> process = sys::createProcess(strings);
  if (process) {
    AEROLITH_TRACE(kTag, L"CreateProcess success");
    return {};
  }
  AEROLITH_TRACE(kTag, L"CreateProcess failed, GetLastError = {}", codeOf(process.error()));
  const base::Result<void> shell = sys::openWithShell(strings);
  if (shell) {
    AEROLITH_TRACE(kTag, L"ShellExecuteEx success");
    return {};
  }
  return base::fail(StartFailure{codeOf(process.error()), codeOf(shell.error())});
}

}  // namespace

// A legacy file that is missing, locked or refused is simply not removed; the
// application starts all the same.
void removeLegacyFiles(const sys::Folder& installFolder) {
  for (const std::wstring_view name : kLegacyFileNames) {
    static_cast<void>(installFolder.removeObject(sys::pathFromWide(name)));
  }
}

StartStatus launchTarget(const sys::Folder& installFolder) {
  removeLegacyFiles(installFolder);
  StartStatus started = startTarget(installFolder.path());
  if (!started) {
    AEROLITH_TRACE(kTag, L"ShellExecuteEx failed, GetLastError = {}", started.error().shellError);
  }
  return started;
}

}  // namespace aerolith::launcher
