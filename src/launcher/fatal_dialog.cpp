#include "launcher/fatal_dialog.hpp"

#include "diag/trace_logger.hpp"
#include "launcher/progress/watcher.hpp"
#include "launcher/texts/exit_codes.hpp"
#include "launcher/texts/messages.hpp"
#include "sys/process/process.hpp"
#include "sys/ui/dialog.hpp"

namespace aerolith::launcher {

namespace {

constexpr auto kTag = L"Main";

// The dialog's text on one trace line: its line breaks as " | ".
std::wstring oneLine(std::wstring_view text) {
  std::wstring line;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(L"\r\n", start);
    line += text.substr(start, end - start);
    if (end == std::wstring_view::npos) return line;
    line += L" | ";
    start = end + 2;
  }
}

}  // namespace

// The trace says why the run stops before the box does: support asks for the
// trace first, and a box may never be answered.
void showFatalMessageAndExit(const std::wstring& message) {
  AEROLITH_TRACE(kTag, L"fatal dialog: {}", oneLine(message));
  closeProgressWindow();
  sys::showMessageBox(message, messages::kCaption, sys::DialogIcon::kWarning);
  endRunBookkeeping();
  sys::exitProcess(kExitFatal);
}

void showCorruptAndExit(const bundle::ErrorTriple& error) {
  const auto stage = static_cast<std::int32_t>(error.stage);
  if (error.carriesCrcs()) {
    showFatalAndExit(messages::kEmbeddedResourcesCorrupt, stage,
                     static_cast<std::uint32_t>(error.first),
                     static_cast<std::uint32_t>(error.second));
  }
  showFatalAndExit(messages::kEmbeddedResourcesCorrupt, stage,
                   static_cast<std::int32_t>(error.first), static_cast<std::int32_t>(error.second));
}

}  // namespace aerolith::launcher
