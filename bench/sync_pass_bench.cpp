// The synchronisation pass on an intact installation against a walk that only
// stats the same files, both in one process: the pass's own cost, without the
// process start and the phases before it that a whole start also pays; and
// two parts of a start alone, reading the manifest and walking the folder.
// Usage: sync_pass_bench BUNDLE_DIR INSTALL_DIR [benchmark options]
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "bundle/bundle_view.hpp"
#include "bundle/loading.hpp"
#include "install/synchronise.hpp"
#include "sys/fs/directory_walk.hpp"

namespace {

using namespace aerolith;
namespace fs = std::filesystem;

std::vector<std::uint8_t> readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: sync_pass_bench BUNDLE_DIR INSTALL_DIR [benchmark options]\n", stderr);
    return 2;
  }
  const std::vector<std::uint8_t> manifest = readAll(fs::path(argv[1]) / "manifest.bin");
  const std::vector<std::uint8_t> payload = readAll(fs::path(argv[1]) / "payload.bin");
  const fs::path install = argv[2];
  const bundle::BundleView view{manifest.data(), static_cast<std::int32_t>(manifest.size()),
                                payload.data(), static_cast<std::int32_t>(payload.size())};
  const install::ProtectedNames names = install::protectedConfigNames();
  install::SyncProgress progress;                          // nobody watches a benchmark
  const sys::Folder folder = *sys::Folder::open(install);  // made above

  benchmark::RegisterBenchmark("sync_pass", [&](benchmark::State& state) {
    for (auto _ : state) {
      state.PauseTiming();
      bundle::Bundle bundle{view, {}};
      if (!bundle::readManifest(view, bundle.files, progress))
        state.SkipWithError("damaged manifest");
      state.ResumeTiming();
      install::ListingAhead listing(folder);
      if (!install::synchroniseInstallDirectory(folder, listing, bundle, names, 1, progress) ||
          !bundle.files.empty()) {
        state.SkipWithError("the installation is not intact");
      }
    }
  });
  // The parts of a start on an intact installation, for the split.
  benchmark::RegisterBenchmark("read_manifest", [&](benchmark::State& state) {
    for (auto _ : state) {
      bundle::FilesMap files;
      if (!bundle::readManifest(view, files, progress)) state.SkipWithError("damaged manifest");
      benchmark::DoNotOptimize(files.size());
    }
  });
  benchmark::RegisterBenchmark("walk_tree", [&](benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(sys::walkTree(folder).entries.size());
  });
  benchmark::RegisterBenchmark("stat_walk", [&](benchmark::State& state) {
    for (auto _ : state) {
      int files = 0;
      for (const auto& entry : fs::recursive_directory_iterator(install)) {
        struct stat status {};
        if (::stat(entry.path().c_str(), &status) == 0 && S_ISREG(status.st_mode)) ++files;
      }
      benchmark::DoNotOptimize(files);
    }
  });
  argc -= 2;
  argv += 2;
  argv[0] = argv[-2];
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
