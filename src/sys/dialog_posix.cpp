#include "sys/dialog.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/utf.hpp"

extern char** environ;

namespace aerolith::sys {
namespace {

bool hasDesktop() { return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY"); }

// A desktop dialog through zenity when one is available; false when none could
// be shown, so the caller's standard-error copy is all the user gets.
bool showDesktopDialog(const std::string& text, const std::string& caption, DialogIcon icon) {
  if (!hasDesktop()) return false;
  std::string kind = icon == DialogIcon::Warning ? "--warning" : "--error";
  std::string title = "--title=" + caption;
  std::string body = "--text=" + text;
  std::string noMarkup = "--no-markup";
  char* argv[] = {const_cast<char*>("zenity"),
                  kind.data(),
                  noMarkup.data(),
                  title.data(),
                  body.data(),
                  nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "zenity", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  // zenity exits with 0 (OK) or 1 (closed); anything else means it could not run.
  return WIFEXITED(status) && WEXITSTATUS(status) <= 1;
}

}  // namespace

void showMessageBox(std::wstring_view text, std::wstring_view caption, DialogIcon icon) {
  const std::string textUtf8 = text::toUtf8(text);
  const std::string captionUtf8 = text::toUtf8(caption);
  std::fprintf(stderr, "[%s] %s\n%s\n", captionUtf8.c_str(),
               icon == DialogIcon::Warning ? "warning" : "error", textUtf8.c_str());
  std::fflush(stderr);
  showDesktopDialog(textUtf8, captionUtf8, icon);
}

}  // namespace aerolith::sys
