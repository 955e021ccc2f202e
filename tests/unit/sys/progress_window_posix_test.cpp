// The POSIX progress window: what a zenity window is fed and how it ends, the
// terminal line, which of the two a process gets, and the crash reporter's
// hide. A stand-in zenity records its arguments and its input.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "support/temp_dir.hpp"
#include "sys/ui/progress_window.hpp"
#include "sys/ui/progress_window_posix.hpp"

namespace aerolith::sys {
namespace {

using namespace std::chrono_literals;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

constexpr std::uint32_t kHalf = kProgressSteps / 2;

// A zenity in `dir` that writes its arguments to `args`, copies its input to
// `input` and, when ended with SIGTERM, writes `ended`; `body` replaces the
// copy. Only builtins and absolute paths: tests point PATH at `dir` alone.
std::filesystem::path writeZenity(const TempDir& dir, const std::string& body = "") {
  const auto program = dir / "zenity";
  const std::string folder = dir.path().native();
  // A job in the background reads /dev/null unless told otherwise.
  writeFile(program,
            "#!/bin/sh\nexec 3<&0\n"
            "trap 'echo TERM > \"" +
                folder + "/ended\"; kill $!; exit 143' TERM\n" + "printf '%s\\n' \"$@\" > '" +
                folder + "/args'\n" +
                (body.empty() ? "/bin/cat <&3 > '" + folder + "/input' & wait\n" : body));
  ::chmod(program.c_str(), 0755);
  return program;
}

bool appears(const std::filesystem::path& file) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!std::filesystem::exists(file)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

bool running(pid_t pid) { return ::kill(pid, 0) == 0; }

TEST(ZenityProgress, IsFedTextAndPercentageLinesAndClosesAtTheEndOfItsInput) {
  TempDir dir;
  ZenityProgress zenity;
  ASSERT_TRUE(zenity.start(writeZenity(dir).c_str(), "Aerolith Vantor", "Installing", 0));
  zenity.show("Installing", 42);
  zenity.show("Installing", 42);  // nothing changed, nothing sent
  zenity.show("Updating", 100);   // 100 would close it
  const pid_t pid = zenity.pid();
  zenity.close();
  EXPECT_FALSE(running(pid));  // reaped
  EXPECT_FALSE(std::filesystem::exists(dir / "ended"));
  EXPECT_EQ(readFile(dir / "args"),
            "--progress\n--title=Aerolith Vantor\n--width=400\n--auto-close\n--no-cancel\n");
  EXPECT_EQ(readFile(dir / "input"), "# Installing\n42\n# Updating\n99\n");
}

TEST(ZenityProgress, AWindowThatWentAwayIsNoLongerFedAndOneThatStaysIsEnded) {
  TempDir dir;
  {
    ZenityProgress gone;
    ASSERT_TRUE(gone.start(writeZenity(dir, "exit 1\n").c_str(), "Aerolith Vantor", "A", 0));
    ASSERT_TRUE(appears(dir / "args"));
    std::this_thread::sleep_for(100ms);
    gone.show("B", 10);  // to a closed socket: no SIGPIPE ends this test
    gone.close();
  }
  {
    ZenityProgress staying;
    ASSERT_TRUE(staying.start(writeZenity(dir, "/bin/sleep 30 & wait\n").c_str(), "Aerolith Vantor",
                              "A", 0));
    ASSERT_TRUE(appears(dir / "args"));
    const auto start = std::chrono::steady_clock::now();
    staying.close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(readFile(dir / "ended"), "TERM\n");
  }
}

TEST(ZenityProgress, ProgramThatCannotBeStarted) {
  ZenityProgress zenity;
  EXPECT_FALSE(zenity.start("/nonexistent/zenity", "Aerolith Vantor", "A", 0));
  zenity.show("B", 1);
  zenity.close();
}

TEST(TerminalLine, RewritesItselfInPlaceAndErasesItself) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
  TerminalLine line(ends[1]);
  line.show("Installing Aerolith Vantor ...", 0);
  line.show("Installing Aerolith Vantor ...", 0);
  line.show("Installing Aerolith Vantor ...", 7);
  line.erase();
  line.erase();
  char buffer[256];
  const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
  ::close(ends[0]);
  ::close(ends[1]);
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0),
            "\rInstalling Aerolith Vantor ... 0%\x1b[K\rInstalling Aerolith Vantor ... 7%\x1b[K"
            "\r\x1b[K");
}

// Sets or removes environment variables for one scope.
class Environment {
 public:
  void set(const char* name, const std::optional<std::string>& value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~Environment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first, it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first);
      }
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// Standard error on a pseudo-terminal, or on a pipe, for one scope; what was
// written to it can be read back.
class StandardError {
 public:
  explicit StandardError(bool terminal) : saved_(::dup(STDERR_FILENO)) {
    int writeEnd;
    if (terminal) {
      reader_ = ::posix_openpt(O_RDWR | O_NOCTTY);
      ::grantpt(reader_);
      ::unlockpt(reader_);
      writeEnd = ::open(::ptsname(reader_), O_RDWR | O_NOCTTY);
    } else {
      int ends[2];
      ::pipe(ends);
      reader_ = ends[0];
      writeEnd = ends[1];
    }
    ::fcntl(reader_, F_SETFL, O_NONBLOCK);
    ::dup2(writeEnd, STDERR_FILENO);
    ::close(writeEnd);
  }
  ~StandardError() {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    ::close(reader_);
  }

  std::string written() const {
    std::string text;
    char buffer[256];
    ssize_t got;
    while ((got = ::read(reader_, buffer, sizeof buffer)) > 0) text.append(buffer, got);
    return text;
  }

 private:
  int saved_;
  int reader_;
};

TEST(ProgressWindow, ZenityOnADesktopElseALineOnATerminalElseNothing) {
  TempDir dir;
  writeZenity(dir);
  struct Case {
    const char* what;
    std::optional<std::string> display, wayland;
    bool zenityOnPath, terminal;
    bool expectZenity;
    std::string expectLine;
  };
  const std::string line = "\rRepairing 50%\x1b[K\r\x1b[K";
  const Case cases[] = {
      {"X desktop", ":0", std::nullopt, true, true, true, ""},
      {"Wayland desktop", std::nullopt, "wayland-0", true, false, true, ""},
      {"desktop without zenity, terminal", ":0", std::nullopt, false, true, false, line},
      {"no desktop, terminal", std::nullopt, std::nullopt, true, true, false, line},
      {"no desktop, no terminal", std::nullopt, std::nullopt, true, false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir / "args");
    Environment environment;
    environment.set("DISPLAY", c.display);
    environment.set("WAYLAND_DISPLAY", c.wayland);
    environment.set("PATH", c.zenityOnPath ? dir.path().native() : "/nonexistent");
    StandardError standardError(c.terminal);
    {
      ProgressWindow window(L"Aerolith Vantor");
      window.show(L"Repairing", kHalf);
      window.close();
      window.show(L"Repairing", kProgressSteps);  // after close: nothing
    }
    EXPECT_EQ(std::filesystem::exists(dir / "args"), c.expectZenity);
    if (c.expectZenity) {
      EXPECT_EQ(readFile(dir / "input"), "# Repairing\n50\n");
    }
    EXPECT_EQ(standardError.written(), c.expectLine);
  }
}

// In a child process, since it bars progress windows for the rest of it.
TEST(ProgressWindowDeathTest, CrashReporterEndsTheWindowAndKeepsOthersAway) {
  TempDir dir;
  writeZenity(dir);
  Environment environment;
  environment.set("DISPLAY", ":0");
  environment.set("PATH", dir.path().native());
  EXPECT_EXIT(
      {
        StandardError standardError(true);
        ProgressWindow window(L"Aerolith Vantor");
        window.show(L"Installing", kHalf);
        const bool started = appears(dir / "args");
        hideProgressWindowsNow();
        const bool ended = appears(dir / "ended");
        std::filesystem::remove(dir / "args");
        ProgressWindow later(L"Aerolith Vantor");
        later.show(L"Installing", kHalf);
        later.close();
        const bool noneLater = !std::filesystem::exists(dir / "args");
        std::_Exit(started && ended && noneLater && standardError.written().empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace aerolith::sys
