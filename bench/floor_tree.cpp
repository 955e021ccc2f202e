// Usage: floor_tree create ROOT FILES FOLDERS [THREADS]   (ROOT must not exist)
//        floor_tree list ROOT
// `create` makes the tree that bench/floor_bench.py packs for the launcher:
// FILES empty files file%06d.dat spread round-robin over FOLDERS folders
// Set%02d/Folder%03d, folder by folder; with THREADS (default 1) threads, each
// making every THREADS-th folder, so that no two create in the same folder.
// `list` reads it back as an intact start must. Both print what they did and
// exit 0 only if all of it worked.
#include "floor_tree.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint64_t kFileTime = 133537860001234567;  // 2024-03-01 17:00:00.1234567 UTC

std::string numbered(const char* format, long long number) {
  char text[32];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

// The folders first, folder, folder + threads, ... and each one's files.
bool createFolders(const std::filesystem::path& root, long long files, long long folders,
                   long long first, long long threads, std::atomic<long long>& made) {
  for (long long folder = first; folder < folders; folder += threads) {
    const std::filesystem::path set = root / numbered("Set%02lld", folder % 20);
    floor_tree::Folder inside(set / numbered("Folder%03lld", folder));
    if (!inside.isOpen()) return false;
    for (long long file = folder; file < files; file += folders) {
      if (!inside.createEmpty(numbered("file%06lld.dat", file), kFileTime)) return false;
      ++made;
    }
  }
  return true;
}

int create(const std::filesystem::path& root, long long files, long long folders,
           long long threads) {
  if (!floor_tree::Folder(root).isOpen()) return 1;
  for (long long set = 0; set < std::min(folders, 20LL); ++set) {
    if (!floor_tree::Folder(root / numbered("Set%02lld", set)).isOpen()) return 1;
  }
  std::atomic<long long> made{0};
  std::atomic<bool> failed{false};
  std::vector<std::thread> workers;
  for (long long first = 0; first < threads; ++first) {
    workers.emplace_back([&, first] {
      if (!createFolders(root, files, folders, first, threads, made)) failed = true;
    });
  }
  for (std::thread& worker : workers) worker.join();
  std::printf("%lld files made by %lld threads\n", made.load(), threads);
  return !failed && made == files ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if ((args.size() == 4 || args.size() == 5) && args[0] == "create") {
    const long long threads = args.size() == 5 ? std::atoll(args[4].c_str()) : 1;
    if (threads < 1) return 2;
    return create(args[1], std::atoll(args[2].c_str()), std::atoll(args[3].c_str()), threads);
  }
  if (args.size() == 2 && args[0] == "list") {
    const long long files = floor_tree::listTree(args[1]);
    std::printf("%lld files listed\n", files);
    return files > 0 ? 0 : 1;
  }
  std::fputs("usage: floor_tree create ROOT FILES FOLDERS [THREADS] | floor_tree list ROOT\n",
             stderr);
  return 2;
}
