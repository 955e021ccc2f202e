// Byte layout of the bundle: the manifest (a checksummed table of file entries)
// and the payload (a checksummed block of Zstandard frames) that the launcher's
// image carries as two resources. All integers are little-endian, nothing is
// aligned or padded, and texts are UTF-16LE without a terminator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aerolith::bundle::format {

// Both resources are RCDATA, found by type and id and stored in one language.
inline constexpr std::uint32_t kResourceType = 10;  // RT_RCDATA
inline constexpr std::uint32_t kManifestResourceId = 48978;
inline constexpr std::uint32_t kPayloadResourceId = 19266;
inline constexpr std::uint32_t kResourceLanguage = 1033;  // English (United States)

// Every length, size, offset and count is written unsigned but read as signed
// 32-bit, so each must stay below this, and so must each resource's size.
inline constexpr std::uint64_t kFieldLimit = 0x80000000;

// Each resource starts with the CRC-32C of all its bytes after the CRC itself.
inline constexpr std::size_t kCrcOffset = 0;
inline constexpr std::size_t kCheckedOffset = 4;

// Manifest: CRC, entry count, entries.
inline constexpr std::size_t kEntryCountOffset = 4;
inline constexpr std::size_t kEntriesOffset = 8;

// Payload: CRC, then the frames back to back. Entry offsets count from here.
inline constexpr std::size_t kFramesOffset = 4;

// Entry: directory length D, D bytes of directory text (components joined by
// '\', empty at the top level), name length N, N bytes of name text, then the
// fixed fields below, at offsets from the end of the name text.
inline constexpr std::size_t kLengthFieldSize = 4;
inline constexpr std::size_t kSizeOffset = 0;
inline constexpr std::size_t kContentCrcOffset = 4;
inline constexpr std::size_t kCompressedSizeOffset = 8;
inline constexpr std::size_t kCompressedCrcOffset = 12;
inline constexpr std::size_t kDataOffsetOffset = 16;
inline constexpr std::size_t kFileTimeOffset = 20;  // FILETIME, 64 bits
inline constexpr std::size_t kFixedFieldsSize = 28;
inline constexpr std::size_t kEntrySizeWithoutTexts = 2 * kLengthFieldSize + kFixedFieldsSize;

// Separator of the components of a directory text.
inline constexpr wchar_t kDirectorySeparator = L'\\';

}  // namespace aerolith::bundle::format
