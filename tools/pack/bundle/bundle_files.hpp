// The two resources of a bundle as the tool finds them: the files that 'pack'
// writes into a folder, or the resources of a launcher image, whose version
// list and verify show too.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "pack/image/launcher_image.hpp"
#include "pack/image/version_info.hpp"

namespace aerolith::pack {

inline constexpr std::wstring_view kManifestFileName = L"manifest.bin";
inline constexpr std::wstring_view kPayloadFileName = L"payload.bin";

// `bundle` is a folder holding manifest.bin and payload.bin, or a launcher image
// of this platform. Throws Failure when it is neither or cannot be read.
BundleBytes readBundleBytes(const std::filesystem::path& bundle);

// True when `bundle` names a file that is no part of a bundle folder: an image
// as far as the tool can tell without reading it.
bool namesImage(const std::filesystem::path& bundle);

// The version of a launcher image, as list and verify show it first.
struct ImageVersion {
  std::optional<FileVersion> version;  // none in a Linux image

  // "version: 1.2.3.4\n", or "version: none\n".
  std::wstring line() const;
};

// The version when `bundle` is a launcher image; nothing for a bundle folder,
// one of its two files or a path that names no file, which reading the bundle
// reports.
std::optional<ImageVersion> imageVersion(const std::filesystem::path& bundle);

}  // namespace aerolith::pack
