#include "pack/image/launcher_image.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <fmt/xchar.h>

#include "bundle/format.hpp"
#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/image/elf_image.hpp"
#include "pack/image/pe_image.hpp"

namespace aerolith::pack {
namespace {

namespace format = bundle::format;

// The launcher's identity text, in two parts so that the tool's own image,
// which holds these, does not pass for a launcher.
constexpr std::string_view kIdentityStart = "Aerolith Vantor launcher image";
constexpr std::string_view kIdentityEnd = ", bundle format 1";

bool holdsIdentity(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> identity(kIdentityStart.begin(), kIdentityStart.end());
  identity.insert(identity.end(), kIdentityEnd.begin(), kIdentityEnd.end());
  identity.push_back(0);
  const std::boyer_moore_horspool_searcher searcher(identity.begin(), identity.end());
  return std::search(bytes.begin(), bytes.end(), searcher) != bytes.end();
}

// A launcher image read whole, of the kind its first bytes say; failures name
// the file.
class LauncherImage {
 public:
  explicit LauncherImage(std::filesystem::path path)
      : path_(std::move(path)), bytes_(readWholeFile(path_)) {
    if (pe::looksLikePe(bytes_)) {
      named(L"{} cannot be read as a Windows image", [&] { windows_.emplace(bytes_); });
    } else if (!elf::looksLikeElf(bytes_)) {
      throw Failure(
          fmt::format(
              L"{} is not a launcher image: neither a Windows (PE) nor a Linux (ELF) executable",
              quoted(path_)),
          L"not-a-launcher", shownPath(path_));
    }
  }

  std::vector<std::uint8_t> resource(std::uint32_t id, std::wstring_view what) const {
    const auto found = find(id, what);
    return {found.begin(), found.end()};
  }

  // The resource in the buffer that held the whole file, which saves a copy of
  // the largest resource; the image is unusable afterwards.
  std::vector<std::uint8_t> takeResource(std::uint32_t id, std::wstring_view what) && {
    const auto found = find(id, what);
    std::vector<std::uint8_t> bytes = std::move(bytes_);
    std::memmove(bytes.data(), found.data(), found.size());
    bytes.resize(found.size());
    return bytes;
  }

  ImageFacts facts() const {
    ImageFacts facts;
    facts.platform = windows_ ? ImagePlatform::kWindows : ImagePlatform::kLinux;
    facts.version = version();
    facts.isSigned = windows_ && windows_->signatureSize() != 0;
    if (windows_) {
      const auto name = named(L"{} cannot be read as a Windows image",
                              [&] { return windows_->versionString(u"OriginalFilename"); });
      if (name != kLauncherFileName) {
        facts.notLauncher =
            name ? fmt::format(L"its version resource names it '{}', not '{}'", *name,
                               kLauncherFileName)
                 : fmt::format(L"it has no version resource naming it '{}'", kLauncherFileName);
        return facts;
      }
    }
    if (!holdsIdentity(bytes_)) {
      facts.notLauncher = L"it lacks the identity text that every launcher image carries";
    }
    return facts;
  }

  std::optional<FileVersion> version() const {
    if (!windows_) return std::nullopt;
    return named(L"{} cannot be read as a Windows image", [&] { return windows_->version(); });
  }

  EmbedResult embed(std::span<const std::uint8_t> manifest, std::span<const std::uint8_t> payload,
                    const EmbedOptions& options, OutputFile& out) {
    if (!windows_) {
      if (options.version) {
        throw Failure(
            fmt::format(L"cannot stamp a version into {}: a Linux image has no "
                        L"version resource",
                        quoted(path_)));
      }
      named(L"cannot embed into {}", [&] { elf::writeBundle(bytes_, manifest, payload, out); });
      return {};
    }
    const std::uint64_t signature = windows_->signatureSize();
    if (signature != 0 && !options.removeSignature)
      throw Failure(std::wstring(kSignedImageRefusal), L"signed-image", shownPath(path_));
    named(L"cannot embed into {}", [&] {
      windows_->write({manifest, payload, options.version}, out);
    });
    return {signature};
  }

 private:
  std::span<const std::uint8_t> find(std::uint32_t id, std::wstring_view what) const {
    const auto found = windows_ ? windows_->resource(format::kResourceType, id)
                                : named(L"{} cannot be read as a Linux image", [&] {
                                    return elf::resource(bytes_, format::kResourceType, id);
                                  });
    if (!found) {
      throw Failure(fmt::format(L"{} holds no bundle: it has no {} resource (RCDATA {})",
                                quoted(path_), what, id),
                    L"no-bundle", shownPath(path_));
    }
    return *found;
  }

  // Runs `step`; a failure's reason follows `context`, in which {} names the image.
  template <typename Step>
  std::invoke_result_t<Step> named(std::wstring_view context, Step step) const {
    try {
      return step();
    } catch (const Failure& failure) {
      throw Failure(fmt::format(fmt::runtime(context), quoted(path_)) + L": " + failure.message(),
                    failure.code(), shownPath(path_));
    }
  }

  std::filesystem::path path_;
  std::vector<std::uint8_t> bytes_;
  std::optional<pe::Image> windows_;  // for a Windows image; points into bytes_
};

}  // namespace

BundleBytes readImageBundle(const std::filesystem::path& image) {
  LauncherImage launcher(image);
  std::vector<std::uint8_t> manifest = launcher.resource(format::kManifestResourceId, L"manifest");
  return {std::move(manifest),
          std::move(launcher).takeResource(format::kPayloadResourceId, L"payload")};
}

EmbedResult embedBundle(const std::filesystem::path& launcher,
                        std::span<const std::uint8_t> manifest,
                        std::span<const std::uint8_t> payload, OutputFile& out,
                        const EmbedOptions& options) {
  LauncherImage image(launcher);
  std::error_code error;
  const auto permissions = std::filesystem::status(launcher, error).permissions();
  const EmbedResult result = image.embed(manifest, payload, options, out);
  if (!error) out.setPermissions(permissions);
  return result;
}

ImageFacts readImageFacts(const std::filesystem::path& image) {
  return LauncherImage(image).facts();
}

std::optional<FileVersion> readImageVersion(const std::filesystem::path& image) {
  return LauncherImage(image).version();
}

}  // namespace aerolith::pack
