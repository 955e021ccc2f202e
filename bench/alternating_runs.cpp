// Times short commands run in turn, one run of each per round, so that drift
// in the machine's speed (other load, frequency, caches) falls on all of them
// alike and their ratio stays meaningful. Prints, per command, the median wall
// time and the mean CPU time (user + system) in milliseconds.
//
// Usage: alternating_runs ROUNDS WARMUP COMMAND...  (each COMMAND one argument,
// its words separated by single spaces)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Run {
  double wallMs;
  double cpuMs;
};

double milliseconds(const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; }

std::vector<std::string> words(const std::string& command) {
  std::vector<std::string> result;
  std::istringstream stream(command);
  for (std::string word; stream >> word;) result.push_back(word);
  return result;
}

Run runOnce(std::vector<std::string> command) {
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    std::fprintf(stderr, "alternating_runs: cannot start %s\n", argv[0]);
    std::exit(2);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "alternating_runs: %s failed\n", argv[0]);
    std::exit(2);
  }
  return {wall.count(), milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: alternating_runs ROUNDS WARMUP COMMAND...\n", stderr);
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  const int warmup = std::atoi(argv[2]);
  std::vector<std::vector<std::string>> commands;
  for (int i = 3; i < argc; ++i) commands.push_back(words(argv[i]));

  std::vector<std::vector<Run>> runs(commands.size());
  for (int round = 0; round < warmup + rounds; ++round) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const Run run = runOnce(commands[i]);
      if (round >= warmup) runs[i].push_back(run);
    }
  }
  for (std::vector<Run>& list : runs) {
    std::sort(list.begin(), list.end(), [](Run a, Run b) { return a.wallMs < b.wallMs; });
    double cpu = 0;
    for (const Run& run : list) cpu += run.cpuMs;
    std::printf("%.4f %.4f\n", list[list.size() / 2].wallMs, cpu / list.size());
  }
}
