// The baseline of a start on an intact installation: a process that walks a
// folder and asks for each file's attributes once (one stat), and nothing else.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: stat_walk FOLDER\n", stderr);
    return 2;
  }
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    struct stat status {};
    if (::stat(entry.path().c_str(), &status) == 0 && S_ISREG(status.st_mode)) ++files;
  }
  return files > 0 ? 0 : 1;
}
