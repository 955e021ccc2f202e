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
std::optional<StartFailure> startTarget(const fs::path& installDirectory) {
  const std::wstring target = sys::wideFromPath(installDirectory / kTargetName);
  sys::LaunchStrings strings{target, fmt::format(L"\"{}\"", target),
                             sys::wideFromPath(installDirectory)};
  AEROLITH_TRACE(kTag, L"path: '{}'", strings.applicationName);
  AEROLITH_TRACE(kTag, L"cmd: '{}'", strings.commandLine);
  std::error_code processError;
  if (sys::createProcess(strings, processError)) {
    AEROLITH_TRACE(kTag, L"CreateProcess success");
    return std::nullopt;
  }
  AEROLITH_TRACE(kTag, L"CreateProcess failed, GetLastError = {}", codeOf(processError));
  std::error_code shellError;
  if (sys::openWithShell(strings, shellError)) {
    AEROLITH_TRACE(kTag, L"ShellExecuteEx success");
    return std::nullopt;
  }
  return StartFailure{codeOf(processError), codeOf(shellError)};
}

}  // namespace

// A legacy file that is missing, locked or refused is simply not removed; the
// application starts all the same.
void removeLegacyFiles(const sys::Folder& installFolder) {
  for (const std::wstring_view name : kLegacyFileNames) {
    std::error_code ignored;
    static_cast<void>(installFolder.removeObject(sys::pathFromWide(name), ignored));
  }
}

std::optional<StartFailure> launchTarget(const sys::Folder& installFolder) {
  removeLegacyFiles(installFolder);
  const std::optional<StartFailure> failure = startTarget(installFolder.path());
  if (failure)
    AEROLITH_TRACE(kTag, L"ShellExecuteEx failed, GetLastError = {}", failure->shellError);
  return failure;
}

}  // namespace aerolith::launcher
