// The two ways the progress window shows on POSIX, each on its own so that
// tests can drive them: a zenity progress dialog fed through its standard
// input, and one line of a terminal rewritten in place.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace aerolith::sys {

// The bar's position in whole percent, rounded down.
unsigned progressPercent(std::uint32_t step);

// A `zenity --progress` window: "# text" lines set its text, number lines its
// bar. It has no buttons and no close box (--no-cancel), and it closes itself
// at the end of its input (--auto-close).
class ZenityProgress {
 public:
  ZenityProgress() = default;
  ~ZenityProgress();  // close()
  ZenityProgress(const ZenityProgress&) = delete;
  ZenityProgress& operator=(const ZenityProgress&) = delete;

  // Starts `program` (looked up on PATH) with `caption` as its title; false
  // when it cannot be started.
  bool start(const char* program, std::string_view caption, std::string_view text,
             unsigned percent);

  // Sends what changed. Writes never block and never raise SIGPIPE: a window
  // that has gone (the desktop ended it) is simply not fed any more. The bar
  // stops at 99 %, since zenity closes itself at 100.
  void show(std::string_view text, unsigned percent);

  // Ends its input, at which it closes itself; one still there after a second
  // is ended with SIGTERM. Returns once it has been reaped.
  void close();

  pid_t pid() const { return pid_; }

 private:
  int input_ = -1;
  pid_t pid_ = 0;
  std::string text_;
  unsigned percent_ = 0;
};

// One line of a terminal, "<text> <percent>%", rewritten in place.
class TerminalLine {
 public:
  explicit TerminalLine(int fd) : fd_(fd) {}

  // Rewrites the line when the text or the percentage changed.
  void show(std::string_view text, unsigned percent);

  // Erases the line, so that whatever follows starts at its beginning.
  void erase();

 private:
  int fd_;
  bool shown_ = false;
  std::string text_;
  unsigned percent_ = 0;
};

// What erase() writes, also written by the crash reporter.
inline constexpr std::string_view kEraseTerminalLine = "\r\x1b[K";

}  // namespace aerolith::sys
