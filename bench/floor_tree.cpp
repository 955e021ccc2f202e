// Usage: floor_tree create ROOT FILES FOLDERS   (ROOT must not exist)
//        floor_tree list ROOT
// `create` makes the tree that bench/floor_bench.py packs for the launcher:
// FILES empty files file%06d.dat spread round-robin over FOLDERS folders
// Set%02d/Folder%03d, folder by folder; `list` reads it back as an intact
// start must. Both print what they did and exit 0 only if all of it worked.
#include "floor_tree.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t kFileTime = 133537860001234567;  // 2024-03-01 17:00:00.1234567 UTC

std::string numbered(const char* format, long long number) {
  char text[32];
  std::snprintf(text, sizeof text, format, number);
  return text;
}

int create(const std::filesystem::path& root, long long files, long long folders) {
  if (!floor_tree::Folder(root).isOpen()) return 1;
  long long made = 0;
  for (long long folder = 0; folder < folders; ++folder) {
    const std::filesystem::path set = root / numbered("Set%02lld", folder % 20);
    if (folder < 20 && !floor_tree::Folder(set).isOpen()) return 1;
    floor_tree::Folder inside(set / numbered("Folder%03lld", folder));
    if (!inside.isOpen()) return 1;
    for (long long file = folder; file < files; file += folders) {
      if (!inside.createEmpty(numbered("file%06lld.dat", file), kFileTime)) return 1;
      ++made;
    }
  }
  std::printf("%lld files made\n", made);
  return made == files ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "create") {
    return create(args[1], std::atoll(args[2].c_str()), std::atoll(args[3].c_str()));
  }
  if (args.size() == 2 && args[0] == "list") {
    const long long files = floor_tree::listTree(args[1]);
    std::printf("%lld files listed\n", files);
    return files > 0 ? 0 : 1;
  }
  std::fputs("usage: floor_tree create ROOT FILES FOLDERS | floor_tree list ROOT\n", stderr);
  return 2;
}
