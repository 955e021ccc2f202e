// The version resource (a VS_VERSIONINFO block) of a Windows image: the
// version it states, and a copy of it stamped with another version.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace aerolith::pack {

// A version as Windows images state it: up to four numbers of 16 bits each.
struct FileVersion {
  std::array<std::uint16_t, 4> parts{};
  std::size_t count = 4;  // how many were written: 3 or 4

  // "1.2.3" or "1.2.3.4", as many numbers as were written.
  std::wstring text() const;
  bool operator==(const FileVersion&) const = default;
};

// Equal versions, numbers not written counting as 0: 2.4.0 is 2.4.0.0.
bool sameVersion(FileVersion a, FileVersion b);

// "X.Y.Z" or "X.Y.Z.W", each a decimal number from 0 to 65535; nullopt for
// anything else.
std::optional<FileVersion> parseFileVersion(std::wstring_view text);

// The file version (VS_FIXEDFILEINFO's FILEVERSION, all four numbers) that the
// block states. Throws Failure when the block is damaged.
FileVersion readFileVersion(std::span<const std::uint8_t> block);

// The text of the string `key` ("OriginalFilename") in the first string table
// that holds it; nullopt if none does. Throws Failure when the block is damaged.
std::optional<std::wstring> readVersionString(std::span<const std::uint8_t> block,
                                              std::u16string_view key);

// A copy of the block whose file and product version are `version`: in
// VS_FIXEDFILEINFO and in the "FileVersion" and "ProductVersion" strings of
// every string table, which get them if they lack them. Every other value is
// kept; lengths and padding are laid out anew. Throws Failure when the block is
// damaged.
std::vector<std::uint8_t> stampVersion(std::span<const std::uint8_t> block,
                                       const FileVersion& version);

}  // namespace aerolith::pack
