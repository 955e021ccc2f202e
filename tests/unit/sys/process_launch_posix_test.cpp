// The POSIX stand-ins for process creation and the shell: what a started
// program gets from the launcher (and what not), and how failures are told.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "support/temp_dir.hpp"
#include "sys/process/process_launch.hpp"
#include "text/utf.hpp"

namespace aerolith::sys {
namespace {

// What a start reports, as one value.
struct StartResult {
  bool started = false;
  std::uint32_t error = 0;
};

StartResult startedBy(base::Result<void> (*start)(LaunchStrings&), LaunchStrings& strings) {
  const base::Result<void> started = start(strings);
  return {started.ok(), static_cast<std::uint32_t>(base::errorOf(started).value())};
}

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// What a started program writes, once it has written it all.
std::string awaitOutput(const std::filesystem::path& file) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = readFile(file);
    if (text.ends_with("end\n")) return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return "(no output)";
}

void writeScript(const std::filesystem::path& file, const std::string& body, mode_t mode) {
  writeFile(file, "#!/bin/sh\n" + body);
  ::chmod(file.c_str(), mode);
}

mode_t modeOf(const std::filesystem::path& file) {
  struct stat status {};
  ::stat(file.c_str(), &status);
  return status.st_mode & 07777;
}

LaunchStrings launchStrings(const std::filesystem::path& program,
                            const std::filesystem::path& directory) {
  const std::wstring name = text::fromUtf8(program.native());
  return {name, L"\"" + name + L"\"", text::fromUtf8(directory.native())};
}

// Sets PATH for one test.
class SearchPath {
 public:
  explicit SearchPath(const std::string& path) {
    if (const char* old = std::getenv("PATH")) old_ = old;
    ::setenv("PATH", path.c_str(), 1);
  }
  ~SearchPath() {
    if (old_) {
      ::setenv("PATH", old_->c_str(), 1);
    } else {
      ::unsetenv("PATH");
    }
  }

 private:
  std::optional<std::string> old_;
};

TEST(CreateProcess, StartsTheProgramDetachedInTheWorkingDirectoryWithItsPathOnly) {
  TempDir dir;
  const auto work = dir / "work dir";
  std::filesystem::create_directory(work);
  const auto out = dir / "out";
  // A descriptor the launcher holds without close-on-exec, as an inherited
  // lock file would be.
  const int held = ::open((dir / "held").c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_GE(held, 0);
  writeScript(dir / "program",
              "exec > '" + out.native() + "'\n" +
                  "pwd; echo \"$#:$0\"\n"
                  "[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = $$ ] && echo session-leader\n"
                  "for fd in 0 1 2; do readlink /proc/$$/fd/$fd; done\n"
                  "[ -e /proc/$$/fd/" +
                  std::to_string(held) + " ] && echo inherited\necho end\n",
              0644);
  LaunchStrings strings = launchStrings(dir / "program", work);

  const StartResult result = startedBy(createProcess, strings);
  ::close(held);
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.error, 0u);
  // stdout is the output file, the other two /dev/null.
  EXPECT_EQ(awaitOutput(out), work.native() + "\n0:" + (dir / "program").native() +
                                  "\nsession-leader\n/dev/null\n" + out.native() +
                                  "\n/dev/null\nend\n");
}

TEST(CreateProcess, GivesExecutePermissionToWhoeverMayRead) {
  TempDir dir;
  const auto out = dir / "out";
  writeScript(dir / "program", "echo end > '" + out.native() + "'\n", 0640);
  LaunchStrings strings = launchStrings(dir / "program", dir.path());
  EXPECT_TRUE(startedBy(createProcess, strings).started);
  EXPECT_EQ(awaitOutput(out), "end\n");
  EXPECT_EQ(modeOf(dir / "program"), 0750u);
}

TEST(CreateProcess, ReportsWhyNothingStarted) {
  TempDir dir;
  writeFile(dir / "not-a-program", "no header, no interpreter line\n");
  writeScript(dir / "program", "exit 0\n", 0755);
  struct Case {
    const char* what;
    std::filesystem::path program, directory;
    std::uint32_t error;
  };
  for (const Case& c : {Case{"not a program", dir / "not-a-program", dir.path(), ENOEXEC},
                        Case{"missing", dir / "missing", dir.path(), ENOENT},
                        Case{"a folder", dir.path(), dir.path(), EACCES},
                        Case{"no working directory", dir / "program", dir / "gone", ENOENT}}) {
    SCOPED_TRACE(c.what);
    LaunchStrings strings = launchStrings(c.program, c.directory);
    const StartResult result = startedBy(createProcess, strings);
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.error, c.error);
  }
}

class OpenWithShell : public ::testing::Test {
 protected:
  // An xdg-open on PATH that records how it was run, then runs `then`.
  void opener(const std::string& then) {
    std::filesystem::create_directory(dir_ / "bin");
    writeScript(
        dir_ / "bin" / "xdg-open",
        "{ pwd; echo \"$#:$1\"; echo end; } > '" + (dir_ / "opened").native() + "'\n" + then, 0755);
  }
  StartResult open() {
    const SearchPath path((dir_ / "bin").native());
    LaunchStrings strings = launchStrings(dir_ / "Aerolith.exe", dir_.path());
    return startedBy(openWithShell, strings);
  }
  TempDir dir_;
};

TEST_F(OpenWithShell, HandsTheOpenerTheProgramInTheWorkingDirectory) {
  opener("exit 0\n");
  const StartResult result = open();
  EXPECT_TRUE(result.started);
  EXPECT_EQ(readFile(dir_ / "opened"),
            dir_.path().native() + "\n1:" + (dir_ / "Aerolith.exe").native() + "\nend\n");
}

TEST_F(OpenWithShell, AnOpenerThatFailsTellsByItsExitStatus) {
  opener("exit 4\n");
  const StartResult result = open();
  EXPECT_FALSE(result.started);
  EXPECT_EQ(result.error, 4u);
}

TEST_F(OpenWithShell, WithoutAnOpenerNothingStarts) {
  const StartResult result = open();
  EXPECT_FALSE(result.started);
  EXPECT_EQ(result.error, static_cast<std::uint32_t>(ENOENT));
}

TEST_F(OpenWithShell, AnOpenerThatRunsTheProgramInTheForegroundHasStartedIt) {
  opener("/bin/sleep 5\nexit 4\n");  // PATH holds only the opener
  const auto began = std::chrono::steady_clock::now();
  const StartResult result = open();
  EXPECT_TRUE(result.started);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
}

}  // namespace
}  // namespace aerolith::sys
