#include "pack/bundle_files.hpp"

#include <fmt/xchar.h>

#include "pack/failure.hpp"
#include "pack/file_io.hpp"
#include "pack/launcher_image.hpp"

namespace aerolith::pack {

BundleBytes readBundleBytes(const std::filesystem::path& bundle) {
  std::error_code error;
  if (std::filesystem::is_directory(bundle, error)) {
    return {readWholeFile(bundle / kManifestFileName), readWholeFile(bundle / kPayloadFileName)};
  }
  if (!std::filesystem::exists(bundle, error)) {
    throw Failure(fmt::format(L"{} does not exist", quoted(bundle)));
  }
  return readImageBundle(bundle);
}

}  // namespace aerolith::pack
