// A Windows (PE32+) image as this tool reads and rewrites it, with code of its
// own on every platform: its resources and version are read from the file's
// bytes, and a rewrite lays out its resource section anew, moves the sections
// after it and updates every header field that depends on them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pack/image/pe_layout.hpp"
#include "pack/image/resource_table.hpp"
#include "pack/image/version_info.hpp"

namespace aerolith::pack {
class OutputFile;
}

namespace aerolith::pack::pe {

// The changes of a rewrite: the bundle's two resources, each stored in the
// bundle's language alone, and optionally a version to stamp.
struct BundleEdit {
  std::span<const std::uint8_t> manifest;
  std::span<const std::uint8_t> payload;
  std::optional<FileVersion> version;
};

class Image {
 public:
  // Throws Failure saying why the bytes are not a PE32+ image or where they are
  // damaged. The bytes must outlive the Image.
  explicit Image(std::span<const std::uint8_t> bytes);

  // A numbered resource in the first language stored; nullopt if none.
  std::optional<std::span<const std::uint8_t>> resource(std::uint32_t type, std::uint32_t id) const;

  // The file version of the version resource; nullopt if the image has none.
  // Throws Failure when it is damaged.
  std::optional<FileVersion> version() const;

  // A text of the version resource, such as "OriginalFilename"; nullopt if the
  // image has no version resource or it lacks the text. Throws Failure when
  // the resource is damaged.
  std::optional<std::wstring> versionString(std::u16string_view key) const;

  // Size of the certificate table of an Authenticode signature; 0 if unsigned.
  std::uint64_t signatureSize() const { return layout_.certificates.size; }

  // Writes the image with the edit applied to `out`, header checksum included,
  // without the certificate table of a signature, which the change breaks.
  // Throws Failure, before anything is written, for an image whose layout
  // cannot be rewritten safely, a version to stamp without a version resource,
  // or resources that would not fit the image's 32-bit fields.
  void write(const BundleEdit& edit, OutputFile& out);

 private:
  std::span<const std::uint8_t> bytes_;
  Layout layout_;
  ResourceTable resources_;
};

}  // namespace aerolith::pack::pe
