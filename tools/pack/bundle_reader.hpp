// Reads a bundle back for the inspecting commands: the two resources from a
// folder or a launcher image, and the manifest's entries, checked strictly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "bundle/manifest_writer.hpp"

namespace aerolith::pack {

inline constexpr std::wstring_view kManifestFileName = L"manifest.bin";
inline constexpr std::wstring_view kPayloadFileName = L"payload.bin";

struct BundleBytes {
  std::vector<std::uint8_t> manifest;
  std::vector<std::uint8_t> payload;
};

// `bundle` is a folder holding manifest.bin and payload.bin, or a launcher image
// of this platform.
BundleBytes loadBundle(const std::filesystem::path& bundle);

// The entry's relative path as the launcher forms it: directory, '\', name.
std::wstring relativePath(const bundle::EntryRecord& entry);

// Throws Failure unless the resource's first four bytes hold the CRC-32C of the
// rest. `what` names the resource in the message.
void checkResourceCrc(std::span<const std::uint8_t> resource, std::wstring_view what);

struct ManifestEntries {
  std::vector<bundle::EntryRecord> entries;
  std::size_t trailingBytes = 0;  // after the last entry: covered by the CRC, else unused
};

// The entries of a manifest whose CRC holds. Every field must lie inside the
// manifest and within the format's limits, every text be of even length and
// free of zero units, and every entry's compressed bytes lie inside a payload
// of `payloadSize` bytes. Throws Failure naming the entry and the field.
ManifestEntries readEntries(std::span<const std::uint8_t> manifest, std::uint64_t payloadSize);

// The entry's compressed bytes in the payload; readEntries checked the bounds.
std::span<const std::uint8_t> compressedBytes(const BundleBytes& bundle,
                                              const bundle::EntryRecord& entry);

// The entry's content after every check an installing launcher makes: the
// compressed CRC, the frame, the size and the content CRC. Throws Failure
// with the reason.
std::vector<std::uint8_t> extractContent(const BundleBytes& bundle,
                                         const bundle::EntryRecord& entry);

struct BundleCheck {
  ManifestEntries manifest;
  std::vector<std::wstring> problems;  // one line each, naming the entry
};

// Checks a whole bundle: both CRCs, every entry's fields and every entry's
// content. A manifest that cannot be read ends the check with a Failure;
// anything else is listed, so that every damaged entry is named.
BundleCheck checkBundle(const BundleBytes& bundle);

}  // namespace aerolith::pack
