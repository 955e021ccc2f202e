#include "launcher/target_launch.hpp"

#include <cstdint>
#include <optional>

#include <fmt/xchar.h>

#include "diag/trace_logger.hpp"
#include "launcher/fatal_dialog.hpp"
#include "launcher/messages.hpp"
#include "sys/path.hpp"
#include "sys/process_launch.hpp"

namespace aerolith::launcher {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"Main";

struct StartFailure {
  std::uint32_t processError;
  std::uint32_t shellError;
};

// The launch strings live only as long as the attempts: they are gone before
// a failure is reported.
std::optional<StartFailure> startTarget(const fs::path& installDirectory) {
  const std::wstring target = sys::wideFromPath(installDirectory / kTargetName);
  sys::LaunchStrings strings{target, fmt::format(L"\"{}\"", target),
                             sys::wideFromPath(installDirectory)};
  AEROLITH_TRACE(kTag, L"path: '{}'", strings.applicationName);
  AEROLITH_TRACE(kTag, L"cmd: '{}'", strings.commandLine);

  const sys::StartResult created = sys::createProcess(strings);
  if (created.started) {
    AEROLITH_TRACE(kTag, L"CreateProcess success");
    return std::nullopt;
  }
  AEROLITH_TRACE(kTag, L"CreateProcess failed, GetLastError = {}", created.error);
  const sys::StartResult opened = sys::openWithShell(strings);
  if (opened.started) {
    AEROLITH_TRACE(kTag, L"ShellExecuteEx success");
    return std::nullopt;
  }
  return StartFailure{created.error, opened.error};
}

}  // namespace

void removeLegacyFiles(const fs::path& installDirectory) {
  for (const std::wstring_view name : kLegacyFileNames) {
    try {
      const fs::path file = installDirectory / name;
      if (fs::exists(file)) fs::remove(file);
    } catch (const fs::filesystem_error&) {
      // Locked or refused: it stays, and the application starts all the same.
    }
  }
}

void launchTarget(const fs::path& installDirectory) {
  removeLegacyFiles(installDirectory);
  const std::optional<StartFailure> failure = startTarget(installDirectory);
  if (!failure) return;
  AEROLITH_TRACE(kTag, L"ShellExecuteEx failed, GetLastError = {}", failure->shellError);
  fatalDialog(messages::kFailedToStartProcess, failure->processError, failure->shellError,
              sys::wideFromPath(installDirectory));
}

}  // namespace aerolith::launcher
