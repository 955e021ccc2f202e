#include "pack/bundle/bundle_files.hpp"

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/image/launcher_image.hpp"

namespace aerolith::pack {

BundleBytes readBundleBytes(const std::filesystem::path& bundle) {
  std::error_code error;
  if (std::filesystem::is_directory(bundle, error)) {
    return {readWholeFile(bundle / kManifestFileName), readWholeFile(bundle / kPayloadFileName)};
  }
  if (!std::filesystem::exists(bundle, error)) {
    throw Failure(fmt::format(L"{} does not exist", quoted(bundle)));
  }
  const auto name = bundle.filename();
  if (name == kManifestFileName || name == kPayloadFileName) {
    throw Failure(
        fmt::format(L"{} is one file of a bundle; name the folder that holds "
                    L"manifest.bin and payload.bin, {}",
                    quoted(bundle), quoted(bundle.parent_path())));
  }
  return readImageBundle(bundle);
}

std::wstring ImageVersion::line() const {
  return fmt::format(L"version: {}\n", version ? version->text() : L"none");
}

std::optional<ImageVersion> imageVersion(const std::filesystem::path& bundle) {
  std::error_code error;
  const auto name = bundle.filename();
  if (!std::filesystem::is_regular_file(bundle, error) || name == kManifestFileName ||
      name == kPayloadFileName) {
    return std::nullopt;
  }
  return ImageVersion{readImageVersion(bundle)};
}

}  // namespace aerolith::pack
