// posix_spawn stands in for CreateProcessW, and the desktop's opener, xdg-open,
// for the shell. A started program holds nothing of the launcher's but its
// environment: a session of its own (no terminal's hang-up reaches it),
// standard streams on /dev/null as a Windows GUI program has none, no other
// descriptor (the lock files of the named mutexes among them) and default
// signal handling.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sys/process/process_launch.hpp"
#include "text/utf.hpp"

extern char** environ;

namespace aerolith::sys {
namespace {

constexpr char kOpener[] = "xdg-open";

// An opener that is still running after this long runs the program in the
// foreground itself (xdg-open does so outside a desktop environment), so it
// has started it. One that ends sooner tells by its exit status.
constexpr auto kOpenerVerdictTime = std::chrono::seconds(3);

// Windows runs any image its user may read, and the bundle carries no file
// modes: whoever may read the program may run it.
void grantExecuteWhereReadable(const std::string& program) {
  struct stat status {};
  if (::stat(program.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return;
  const mode_t execute = (status.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2;
  if ((status.st_mode & execute) != execute)
    ::chmod(program.c_str(), (status.st_mode & 07777) | execute);
}

class DetachedSpawn {
 public:
  explicit DetachedSpawn(const std::string& directory) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str());
    posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
    posix_spawnattr_init(&attributes_);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setflags(&attributes_,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  ~DetachedSpawn() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  DetachedSpawn(const DetachedSpawn&) = delete;
  DetachedSpawn& operator=(const DetachedSpawn&) = delete;

  // Runs arguments[0] (looked up on PATH if `searchPath`); zero, or the error
  // of the start, a failed change of directory or exec included.
  int start(pid_t& pid, std::vector<std::string> arguments, bool searchPath) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const auto spawn = searchPath ? posix_spawnp : posix_spawn;
    return spawn(&pid, argv[0], &actions_, &attributes_, argv.data(), environ);
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

// The opener's exit status, which tells why it could not open the program.
class OpenerStatusCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "opener exit status"; }
  std::string message(int status) const override {
    return "the opener ended with status " + std::to_string(status);
  }
};

const std::error_category& openerStatusCategory() {
  static const OpenerStatusCategory category;
  return category;
}

// Whether the opener started the program; its exit status (or 128 plus the
// signal that ended it) when it did not.
base::Result<void> awaitOpener(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + kOpenerVerdictTime;
  for (;;) {
    int status = 0;
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid) {
      const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      if (code != 0) return base::fail(std::error_code(code, openerStatusCategory()));
      return {};
    }
    // Its end can no longer be learned (someone else reaped it): it did start.
    if (ended < 0 && errno != EINTR) return {};
    if (std::chrono::steady_clock::now() >= deadline) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

base::Result<void> createProcess(LaunchStrings& strings) {
  const std::string program = text::toUtf8(strings.applicationName);
  grantExecuteWhereReadable(program);
  pid_t pid = 0;
  const int failure = DetachedSpawn(text::toUtf8(strings.workingDirectory))
                          .start(pid, {program}, /*searchPath=*/false);
  if (failure != 0) return base::fail(std::error_code(failure, std::system_category()));
  return {};
}

base::Result<void> openWithShell(LaunchStrings& strings) {
  pid_t pid = 0;
  const int failure = DetachedSpawn(text::toUtf8(strings.workingDirectory))
                          .start(pid, {kOpener, text::toUtf8(strings.applicationName)},
                                 /*searchPath=*/true);
  if (failure != 0) return base::fail(std::error_code(failure, std::system_category()));
  return awaitOpener(pid);
}

}  // namespace aerolith::sys
