// One synchronisation pass, as a launcher runs it, with a chosen number of
// decoding threads: the benchmarks time a first install with one thread beside
// the launcher's own. The bundle's files are mapped, as a launcher maps its
// image, so that the run reads the payload only where the pass does.
// Usage: sync_pass_run BUNDLE_DIR INSTALL_DIR THREADS
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "bundle/loading.hpp"
#include "install/synchronise.hpp"

namespace {

using namespace aerolith;

const std::uint8_t* mapWhole(const std::filesystem::path& file, std::int32_t& size) {
  const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (descriptor < 0 || ::fstat(descriptor, &status) != 0) return nullptr;
  void* view = ::mmap(nullptr, status.st_size, PROT_READ, MAP_PRIVATE, descriptor, 0);
  ::close(descriptor);
  size = static_cast<std::int32_t>(status.st_size);
  return view == MAP_FAILED ? nullptr : static_cast<const std::uint8_t*>(view);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: sync_pass_run BUNDLE_DIR INSTALL_DIR THREADS\n", stderr);
    return 2;
  }
  const std::filesystem::path bundleDir = argv[1];
  bundle::Bundle bundle;
  bundle.view.manifestData = mapWhole(bundleDir / "manifest.bin", bundle.view.manifestSize);
  bundle.view.payloadData = mapWhole(bundleDir / "payload.bin", bundle.view.payloadSize);
  std::error_code error;
  std::filesystem::create_directories(argv[2], error);
  const base::Result<sys::Folder> opened = sys::Folder::open(argv[2]);
  install::SyncProgress progress;
  if (!bundle.view.manifestData || !bundle.view.payloadData || !opened ||
      !bundle::readManifest(bundle.view, bundle.files, progress)) {
    std::fputs("sync_pass_run: cannot read the bundle or open the folder\n", stderr);
    return 2;
  }
  const sys::Folder& folder = *opened;
  const unsigned threads = static_cast<unsigned>(std::atoi(argv[3]));
  install::ListingAhead listing(folder);
  if (!install::synchroniseInstallDirectory(folder, listing, bundle,
                                            install::protectedConfigNames(), threads, progress)) {
    std::fputs("sync_pass_run: the pass failed\n", stderr);
    return 1;
  }
  return 0;
}
