// progress_probe MIB SECONDS install|update|repair
// Drives the launcher's real progress window with scripted counters, so that
// scenarios can show it without a large bundle: announces MIB mebibytes to
// write at once and writes them evenly over SECONDS, then closes the window as
// a run does before it starts the application, prints "closed in N ms" and
// stays two more seconds, so that a scenario sees the window go with the close
// and not with the process.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "install/sync_progress.hpp"
#include "launcher/progress/watcher.hpp"

namespace {

using namespace aerolith;
using namespace std::chrono_literals;

constexpr auto kStep = 20ms;

bool parseActivity(const std::string& name, install::SyncActivity& activity) {
  if (name == "install")
    activity = install::SyncActivity::kInstall;
  else if (name == "update")
    activity = install::SyncActivity::kUpdate;
  else if (name == "repair")
    activity = install::SyncActivity::kRepair;
  else
    return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  install::SyncActivity activity{};
  if (argc < 4 || !parseActivity(argv[3], activity)) return 2;
  const std::uint64_t total = std::stoull(argv[1]) * 1024 * 1024;
  const auto steps = static_cast<std::uint64_t>(std::stod(argv[2]) * 1000 / kStep.count());

  static install::SyncProgress progress;
  launcher::startProgressWatcher(progress);
  progress.setActivity(activity);
  progress.willWrite(total);
  std::uint64_t written = 0;
  for (std::uint64_t step = 1; step <= steps; ++step) {
    std::this_thread::sleep_for(kStep);
    const std::uint64_t due = total * step / steps;
    progress.wrote(due - written);
    written = due;
  }
  const auto closing = std::chrono::steady_clock::now();
  launcher::closeProgressWindow();
  const auto took = std::chrono::steady_clock::now() - closing;
  std::printf("closed in %.1f ms\n", std::chrono::duration<double, std::milli>(took).count());
  std::fflush(stdout);
  std::this_thread::sleep_for(2s);
  return 0;
}
