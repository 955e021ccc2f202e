#include "pack/bundle/output_folder.hpp"

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/bundle/bundle_files.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace fs = std::filesystem;
namespace {

// What 'pack' itself leaves in its folder.
bool isBundleFile(const fs::path& name) {
  const std::wstring text = sys::wideFromPath(name);
  for (const std::wstring_view file : {kManifestFileName, kPayloadFileName}) {
    if (text == file || text == std::wstring(file) + L".partial") return true;
  }
  return false;
}

}  // namespace

void prepareBundleFolder(const fs::path& outDir, bool force) {
  std::error_code error;
  const fs::file_status status = fs::status(outDir, error);
  if (fs::exists(status) && !fs::is_directory(status)) {
    throw Failure(fmt::format(L"{} is a file; the bundle goes into a folder", quoted(outDir)));
  }
  if (fs::is_directory(status) && !force) {
    for (fs::directory_iterator it(outDir, error), end; !error && it != end; it.increment(error)) {
      if (!isBundleFile(it->path().filename())) {
        throw Failure(
            fmt::format(L"{} holds {}, which is no part of a bundle; pack into a new "
                        L"or empty folder, or replace the bundle there with "
                        L"-f/--force",
                        quoted(outDir), quoted(it->path().filename())));
      }
    }
    if (error) throw Failure(fmt::format(L"cannot list {}: {}", quoted(outDir), describe(error)));
  }
  fs::create_directories(outDir, error);
  if (error) throw Failure(fmt::format(L"cannot create {}: {}", quoted(outDir), describe(error)));
}

}  // namespace aerolith::pack
