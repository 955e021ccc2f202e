#include "pack/bundle/output_folder.hpp"

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/bundle/bundle_files.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace fs = std::filesystem;
namespace {

// What an interrupted 'pack' leaves behind.
bool isLeftOver(const fs::path& name) {
  const std::wstring text = sys::wideFromPath(name);
  for (const std::wstring_view file : {kManifestFileName, kPayloadFileName}) {
    if (text == std::wstring(file) + L".partial") return true;
  }
  return false;
}

}  // namespace

void checkBundleFolder(const fs::path& outDir, bool force) {
  std::error_code error;
  const fs::file_status status = fs::status(outDir, error);
  if (fs::exists(status) && !fs::is_directory(status)) {
    throw Failure(fmt::format(L"{} is a file; the bundle goes into a folder", quoted(outDir)),
                  L"output-exists", shownPath(outDir));
  }
  if (!fs::is_directory(status) || force) return;
  bool holdsBundle = false;
  for (fs::directory_iterator it(outDir, error), end; !error && it != end; it.increment(error)) {
    const fs::path name = it->path().filename();
    if (isLeftOver(name)) continue;
    if (name == kManifestFileName || name == kPayloadFileName) {
      holdsBundle = true;
      continue;
    }
    throw Failure(fmt::format(L"{} holds {}, which is no part of a bundle; pack into a new "
                              L"or empty folder, or write there anyway with -f/--force",
                              quoted(outDir), quoted(name)),
                  L"output-exists", shownPath(outDir));
  }
  if (error) throw Failure(fmt::format(L"cannot list {}: {}", quoted(outDir), describe(error)));
  if (holdsBundle) {
    throw Failure(fmt::format(L"{} holds a bundle already; pack into a new or empty folder, or "
                              L"replace it with -f/--force",
                              quoted(outDir)),
                  L"output-exists", shownPath(outDir));
  }
}

void makeBundleFolder(const fs::path& outDir) {
  std::error_code error;
  fs::create_directories(outDir, error);
  if (error) {
    throw Failure(fmt::format(L"cannot create {}: {}", quoted(outDir), describe(error)),
                  L"cannot-write", shownPath(outDir));
  }
}

}  // namespace aerolith::pack
