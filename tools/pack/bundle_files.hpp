// The two resources of a bundle as the tool finds them: the files that 'pack'
// writes into a folder, or the resources of a launcher image.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace aerolith::pack {

inline constexpr std::wstring_view kManifestFileName = L"manifest.bin";
inline constexpr std::wstring_view kPayloadFileName = L"payload.bin";

struct BundleBytes {
  std::vector<std::uint8_t> manifest;
  std::vector<std::uint8_t> payload;
};

// `bundle` is a folder holding manifest.bin and payload.bin, or a launcher image
// of this platform. Throws Failure when it is neither or cannot be read.
BundleBytes readBundleBytes(const std::filesystem::path& bundle);

}  // namespace aerolith::pack
