#include "pack/bundle_reader.hpp"

#include <fmt/xchar.h>

#include "bundle/crc32c.hpp"
#include "bundle/format.hpp"
#include "pack/failure.hpp"
#include "pack/file_io.hpp"
#include "pack/frames.hpp"
#include "pack/launcher_image.hpp"
#include "sys/byte_order.hpp"
#include "text/utf16.hpp"

namespace aerolith::pack {
namespace {

namespace format = bundle::format;

// Reads fields in order, throwing when the next one does not fit.
class ManifestCursor {
 public:
  ManifestCursor(std::span<const std::uint8_t> manifest, std::size_t position)
      : manifest_(manifest), position_(position) {}

  std::size_t position() const { return position_; }

  std::span<const std::uint8_t> take(std::size_t size, std::wstring_view field) {
    if (size > manifest_.size() - position_) {
      throw Failure(fmt::format(L"{} runs past the end of the manifest", field));
    }
    const auto bytes = manifest_.subspan(position_, size);
    position_ += size;
    return bytes;
  }

  // A 32-bit length, size, offset or count, which must stay below 2^31.
  std::uint32_t field32(std::wstring_view field) {
    const std::uint32_t value = sys::loadLe32(take(4, field).data());
    if (value >= format::kFieldLimit) {
      throw Failure(fmt::format(L"{} {} is not below 2^31", field, value));
    }
    return value;
  }

  std::uint32_t crc(std::wstring_view field) { return sys::loadLe32(take(4, field).data()); }
  std::uint64_t field64(std::wstring_view field) { return sys::loadLe64(take(8, field).data()); }

  std::wstring text(std::wstring_view field, std::uint32_t length) {
    if (length % 2 != 0) throw Failure(fmt::format(L"{} length {} is odd", field, length));
    const auto bytes = take(length, field);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
      if (bytes[i] == 0 && bytes[i + 1] == 0) {
        throw Failure(fmt::format(L"{} holds a zero code unit", field));
      }
    }
    return text::fromUtf16Le(bytes);
  }

 private:
  std::span<const std::uint8_t> manifest_;
  std::size_t position_;
};

bundle::EntryRecord readEntry(ManifestCursor& cursor, std::uint64_t payloadSize) {
  bundle::EntryRecord entry;
  entry.directory = cursor.text(L"directory text", cursor.field32(L"directory length"));
  const std::uint32_t nameLength = cursor.field32(L"name length");
  if (nameLength == 0) throw Failure(L"name length is 0");
  entry.name = cursor.text(L"name text", nameLength);
  entry.size = cursor.field32(L"size");
  entry.crc32c = cursor.crc(L"content CRC");
  entry.compressedSize = cursor.field32(L"compressed size");
  entry.compressedCrc32c = cursor.crc(L"compressed CRC");
  entry.offset = cursor.field32(L"offset");
  entry.fileTime = cursor.field64(L"file time");
  const std::uint64_t frames = payloadSize - format::kFramesOffset;
  if (std::uint64_t{entry.offset} + entry.compressedSize > frames) {
    throw Failure(fmt::format(L"compressed bytes {}..{} run past the payload's {} bytes of frames",
                              entry.offset, std::uint64_t{entry.offset} + entry.compressedSize,
                              frames));
  }
  return entry;
}

}  // namespace

BundleBytes loadBundle(const std::filesystem::path& bundle) {
  std::error_code error;
  if (std::filesystem::is_directory(bundle, error)) {
    return {readWholeFile(bundle / kManifestFileName), readWholeFile(bundle / kPayloadFileName)};
  }
  if (!std::filesystem::exists(bundle, error)) {
    throw Failure(fmt::format(L"{} does not exist", quoted(bundle)));
  }
  return readImageBundle(bundle);
}

std::wstring relativePath(const bundle::EntryRecord& entry) {
  if (entry.directory.empty()) return entry.name;
  return entry.directory + format::kDirectorySeparator + entry.name;
}

void checkResourceCrc(std::span<const std::uint8_t> resource, std::wstring_view what) {
  if (resource.size() < format::kCheckedOffset) {
    throw Failure(
        fmt::format(L"the {} is {} bytes long, too short for its CRC", what, resource.size()));
  }
  if (resource.size() >= format::kFieldLimit) {
    throw Failure(fmt::format(L"the {} is {} bytes long, not below 2^31", what, resource.size()));
  }
  const std::uint32_t stored = sys::loadLe32(resource.data() + format::kCrcOffset);
  const std::uint32_t computed = bundle::crc32c::value(resource.subspan(format::kCheckedOffset));
  if (stored != computed) {
    throw Failure(fmt::format(L"the {}'s CRC-32C is 0x{:08X} but its bytes give 0x{:08X}", what,
                              stored, computed));
  }
}

ManifestEntries readEntries(std::span<const std::uint8_t> manifest, std::uint64_t payloadSize) {
  if (manifest.size() < format::kEntryCountOffset) {
    throw Failure(
        fmt::format(L"the manifest is {} bytes long, too short for its CRC", manifest.size()));
  }
  ManifestCursor cursor(manifest, format::kEntryCountOffset);
  const std::uint32_t count = cursor.field32(L"entry count");
  if (count == 0) throw Failure(L"the manifest's entry count is 0");
  if (payloadSize < format::kFramesOffset) {
    throw Failure(fmt::format(L"the payload is {} bytes long, too short for its CRC", payloadSize));
  }
  ManifestEntries result;
  for (std::uint32_t index = 0; index < count; ++index) {
    const std::size_t start = cursor.position();
    try {
      result.entries.push_back(readEntry(cursor, payloadSize));
    } catch (const Failure& failure) {
      throw Failure(fmt::format(L"manifest entry {} (of {}) at byte {}: {}", index, count, start,
                                failure.message()));
    }
  }
  result.trailingBytes = manifest.size() - cursor.position();
  return result;
}

std::span<const std::uint8_t> compressedBytes(const BundleBytes& bundle,
                                              const bundle::EntryRecord& entry) {
  return std::span(bundle.payload)
      .subspan(format::kFramesOffset + entry.offset, entry.compressedSize);
}

std::vector<std::uint8_t> extractContent(const BundleBytes& bundle,
                                         const bundle::EntryRecord& entry) {
  const auto compressed = compressedBytes(bundle, entry);
  const std::uint32_t compressedCrc = bundle::crc32c::value(compressed);
  if (compressedCrc != entry.compressedCrc32c) {
    throw Failure(
        fmt::format(L"the compressed bytes give CRC-32C 0x{:08X}, the manifest says 0x{:08X}",
                    compressedCrc, entry.compressedCrc32c));
  }
  std::vector<std::uint8_t> content = decompressFrame(compressed, entry.size);
  const std::uint32_t contentCrc = bundle::crc32c::value(content);
  if (contentCrc != entry.crc32c) {
    throw Failure(fmt::format(L"the content gives CRC-32C 0x{:08X}, the manifest says 0x{:08X}",
                              contentCrc, entry.crc32c));
  }
  return content;
}

BundleCheck checkBundle(const BundleBytes& bundle) {
  checkResourceCrc(bundle.manifest, L"manifest");
  BundleCheck check{readEntries(bundle.manifest, bundle.payload.size()), {}};
  try {
    checkResourceCrc(bundle.payload, L"payload");
  } catch (const Failure& failure) {
    check.problems.push_back(failure.message());
  }
  const auto& entries = check.manifest.entries;
  for (std::size_t index = 0; index < entries.size(); ++index) {
    try {
      extractContent(bundle, entries[index]);
    } catch (const Failure& failure) {
      check.problems.push_back(fmt::format(L"entry {} '{}': {}", index,
                                           relativePath(entries[index]), failure.message()));
    }
  }
  return check;
}

}  // namespace aerolith::pack
