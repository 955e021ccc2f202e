// The bundle and version of a launcher image, whichever platform the image is
// for: a Windows image (PE32+) carries the bundle as RCDATA resources, a Linux
// image in the resource table appended to the executable. The format is told
// from the file's first bytes, so every build of the tool handles both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pack/image/version_info.hpp"

namespace aerolith::pack {

class OutputFile;

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

// The platform a launcher image runs on.
enum class ImagePlatform { kWindows, kLinux };

// What an image is, before anything trusts it as a launcher.
struct ImageFacts {
  ImagePlatform platform = ImagePlatform::kWindows;
  std::optional<FileVersion> version;  // of the version resource; none in a Linux image
  bool isSigned = false;               // a Windows image with a certificate table
  std::wstring notLauncher;            // why it is not this launcher; empty when it is
};

// A Windows image is this launcher when its version resource's
// OriginalFilename is this name and it carries the launcher's identity text
// (src/launcher/identity.cpp); a Linux image when it carries that text.
inline constexpr std::wstring_view kLauncherFileName = L"Aerolith.Launcher.exe";

// Throws Failure when the file is no image of either kind, cannot be read, or
// its version resource is damaged.
ImageFacts readImageFacts(const std::filesystem::path& image);

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

// Writes to `out` a copy of `launcher` that carries the two resources, each
// once, replacing any bundle it held before; every other resource and section
// stays, and `out` gets the launcher's permissions. The caller commits `out`.
// Throws Failure when the image cannot be read or safely rewritten, is signed
// (kSignedImageRefusal) and the options do not remove the signature, or a
// version is to be stamped into a Linux image or one without a version resource.
EmbedResult embedBundle(const std::filesystem::path& launcher,
                        std::span<const std::uint8_t> manifest,
                        std::span<const std::uint8_t> payload, OutputFile& out,
                        const EmbedOptions& options = {});

// The file version of a Windows image's version resource; nullopt for an image
// without one, as every Linux image is. Throws Failure when the file is no
// launcher image or its version resource is damaged.
std::optional<FileVersion> readImageVersion(const std::filesystem::path& image);

}  // namespace aerolith::pack
