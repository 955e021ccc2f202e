// Standard error always gets the box as "[caption] warning|error" and the
// text; a desktop also gets a real dialog through zenity. A dialog still open
// when the process exits is closed with it, as a Windows message box is.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "sys/internal/posix_io.hpp"
#include "sys/ui/desktop_posix.hpp"
#include "sys/ui/dialog.hpp"
#include "text/utf.hpp"

extern char** environ;

namespace aerolith::sys {
namespace {

// The dialog processes on screen; one per thread that shows a box is enough
// (the launcher has two threads). Lock-free, for the crash handler's box.
std::atomic<pid_t> openDialogs[4];

void closeOpenDialogs() {
  for (auto& slot : openDialogs) {
    if (const pid_t pid = slot.exchange(0); pid != 0) ::kill(pid, SIGTERM);
  }
}

std::atomic<pid_t>* remember(pid_t pid) {
  for (auto& slot : openDialogs) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, pid)) return &slot;
  }
  return nullptr;
}

}  // namespace

struct PreparedMessageBox::Layout {
  std::string console;
  bool desktop;
  std::string kind, noMarkup, title, body;
  char* argv[6];
};

PreparedMessageBox::PreparedMessageBox(std::wstring_view text, std::wstring_view caption,
                                       DialogIcon icon) {
  const std::string textUtf8 = text::toUtf8(text);
  const std::string captionUtf8 = text::toUtf8(caption);
  const bool warning = icon == DialogIcon::kWarning;
  auto* layout = new Layout{
      "[" + captionUtf8 + "] " + (warning ? "warning" : "error") + "\n" + textUtf8 + "\n",
      hasDesktop(),
      warning ? "--warning" : "--error",
      "--no-markup",
      "--title=" + captionUtf8,
      "--text=" + textUtf8,
      {}};
  layout->argv[0] = const_cast<char*>("zenity");
  layout->argv[1] = layout->kind.data();
  layout->argv[2] = layout->noMarkup.data();
  layout->argv[3] = layout->title.data();
  layout->argv[4] = layout->body.data();
  layout->argv[5] = nullptr;
  layout_.reset(layout);
  static const bool closedAtExit = (std::atexit(closeOpenDialogs), true);
  (void)closedAtExit;
}

PreparedMessageBox::~PreparedMessageBox() = default;

void PreparedMessageBox::show() const {
  // The console copy is for logs only; a closed standard error changes nothing.
  static_cast<void>(writeAll(STDERR_FILENO, layout_->console.data(), layout_->console.size()));
  if (!layout_->desktop) return;
  pid_t pid = 0;
  if (posix_spawnp(&pid, "zenity", nullptr, nullptr, layout_->argv, environ) != 0) return;
  std::atomic<pid_t>* slot = remember(pid);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (slot != nullptr) slot->store(0);
}

}  // namespace aerolith::sys
