#include "pack/bundle/bundle_files.hpp"

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/image/launcher_image.hpp"

namespace aerolith::pack {

BundleBytes readBundleBytes(const std::filesystem::path& bundle) {
  std::error_code error;
  if (std::filesystem::is_directory(bundle, error)) {
    if (!std::filesystem::exists(bundle / kManifestFileName, error)) {
      const bool application = std::filesystem::exists(bundle / L"Aerolith.exe", error);
      throw Failure(application
                        ? fmt::format(L"{} is an application folder, not a bundle: it holds "
                                      L"'Aerolith.exe' but no manifest.bin; pack it first "
                                      L"('aerolith-pack pack {} -o BUNDLE')",
                                      quoted(bundle), shownPath(bundle))
                        : fmt::format(L"{} is no bundle: it holds no manifest.bin (a bundle "
                                      L"folder holds manifest.bin and payload.bin)",
                                      quoted(bundle)),
                    L"not-a-bundle", shownPath(bundle));
    }
    return {readWholeFile(bundle / kManifestFileName), readWholeFile(bundle / kPayloadFileName)};
  }
  if (!std::filesystem::exists(bundle, error)) {
    throw Failure(fmt::format(L"{} does not exist", quoted(bundle)), L"not-found",
                  shownPath(bundle));
  }
  const auto name = bundle.filename();
  if (name == kManifestFileName || name == kPayloadFileName) {
    throw Failure(fmt::format(L"{} is one file of a bundle; name the folder that holds "
                              L"manifest.bin and payload.bin, {}",
                              quoted(bundle), quoted(bundle.parent_path())),
                  L"not-a-bundle", shownPath(bundle));
  }
  return readImageBundle(bundle);
}

std::wstring ImageVersion::line() const {
  return fmt::format(L"version: {}\n", version ? version->text() : L"none");
}

bool namesImage(const std::filesystem::path& bundle) {
  std::error_code error;
  const auto name = bundle.filename();
  return std::filesystem::is_regular_file(bundle, error) && name != kManifestFileName &&
         name != kPayloadFileName;
}

std::optional<ImageVersion> imageVersion(const std::filesystem::path& bundle) {
  if (!namesImage(bundle)) return std::nullopt;
  return ImageVersion{readImageVersion(bundle)};
}

}  // namespace aerolith::pack
