// The bundle and version of a launcher image, whichever platform the image is
// for: a Windows image (PE32+) carries the bundle as RCDATA resources, a Linux
// image in the resource table appended to the executable. The format is told
// from the file's first bytes, so every build of the tool handles both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "pack/image/version_info.hpp"

namespace aerolith::pack {

// The two resources of a bundle: as a launcher image carries them, or as the
// two files of a bundle folder.
struct BundleBytes {
  std::vector<std::uint8_t> manifest;
  std::vector<std::uint8_t> payload;
};

// The refusal to embed into a signed image without being told to remove the
// signature.
inline constexpr std::wstring_view kSignedImageRefusal =
    L"the image is signed; embedding would invalidate the signature: embed into the unsigned "
    L"image and sign the result";

// The manifest and payload resources of `image`. Throws Failure when the image
// holds no bundle or cannot be read.
BundleBytes readImageBundle(const std::filesystem::path& image);

struct EmbedOptions {
  std::optional<FileVersion> version;  // stamped into a Windows image's version resource
  bool removeSignature = false;        // a signed image is refused without it
};

struct EmbedResult {
  std::uint64_t removedSignatureBytes = 0;  // the certificate table that went; 0 if none
};

// Writes a copy of `launcher` to `output` (which may be `launcher` itself) that
// carries the two resources, each once, replacing any bundle it held before;
// every other resource and section stays. Throws Failure, leaving `output` as
// it was, when the image cannot be read or safely rewritten, is signed
// (kSignedImageRefusal) and the options do not remove the signature, or a
// version is to be stamped into a Linux image or one without a version resource.
EmbedResult embedBundle(const std::filesystem::path& launcher,
                        std::span<const std::uint8_t> manifest,
                        std::span<const std::uint8_t> payload, const std::filesystem::path& output,
                        const EmbedOptions& options = {});

// The file version of a Windows image's version resource; nullopt for an image
// without one, as every Linux image is. Throws Failure when the file is no
// launcher image or its version resource is damaged.
std::optional<FileVersion> readImageVersion(const std::filesystem::path& image);

}  // namespace aerolith::pack
