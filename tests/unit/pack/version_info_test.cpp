#include "pack/image/version_info.hpp"

#include <gtest/gtest.h>

#include "pack/base/failure.hpp"

namespace aerolith::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fromHex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

// Two version resources as the resource compiler (windres) writes them: file
// and product version 1.0.0.0 with the strings CompanyName and FileVersion
// "1.0.0", and 2.5.7.9 with FileVersion and ProductVersion "2.5.7.9"; both
// with a Translation value.
const Bytes kVersion1 = fromHex(
    "3c0134000000560053005f00560045005200530049004f004e005f0049004e0046004f0000000000bd04effe"
    "0000010000000100000000000000010000000000000000000000000004000000010000000000000000000000"
    "000000009c000000010053007400720069006e006700460069006c00650049006e0066006f00000078000000"
    "010030003400300039003000340042003000000032000900010043006f006d00700061006e0079004e006100"
    "6d006500000000004100650072006f006c00690074006800000000002c0006000100460069006c0065005600"
    "65007200730069006f006e000000000031002e0030002e003000000044000000010056006100720046006900"
    "6c00650049006e0066006f00000000002400040000005400720061006e0073006c006100740069006f006e00"
    "000000000904b004");
const Bytes kVersion2 = fromHex(
    "740134000000560053005f00560045005200530049004f004e005f0049004e0046004f0000000000bd04effe"
    "0000010005000200090007000500020009000700000000000000000004000000010000000000000000000000"
    "00000000d4000000010053007400720069006e006700460069006c00650049006e0066006f000000b0000000"
    "010030003400300039003000340042003000000032000900010043006f006d00700061006e0079004e006100"
    "6d006500000000004100650072006f006c0069007400680000000000300008000100460069006c0065005600"
    "65007200730069006f006e000000000032002e0035002e0037002e0039000000340008000100500072006f00"
    "6400750063007400560065007200730069006f006e00000032002e0035002e0037002e003900000044000000"
    "0100560061007200460069006c00650049006e0066006f00000000002400040000005400720061006e007300"
    "6c006100740069006f006e00000000000904b004");

TEST(FileVersion, ParsesThreeOrFourNumbersOf16Bits) {
  const std::pair<std::wstring_view, std::optional<std::wstring>> cases[] = {
      {L"1.2.3", L"1.2.3"},
      {L"1.2.3.4", L"1.2.3.4"},
      {L"65535.0.0.65535", L"65535.0.0.65535"},
      {L"01.2.3", L"1.2.3"},
      {L"65536.0.0", {}},
      {L"1.2", {}},
      {L"1.2.3.4.5", {}},
      {L"1..3", {}},
      {L"1.2.3.", {}},
      {L"", {}},
      {L" 1.2.3", {}},
      {L"+1.2.3", {}},
      {L"1.2.x", {}},
      {L"999999.1.1", {}}};
  for (const auto& [text, expected] : cases) {
    const auto version = parseFileVersion(text);
    EXPECT_EQ(version ? std::optional(version->text()) : std::nullopt, expected)
        << std::string(text.begin(), text.end());
  }
}

TEST(VersionInfo, StampingGivesWhatTheResourceCompilerWritesForThatVersion) {
  const FileVersion version = *parseFileVersion(L"2.5.7.9");
  EXPECT_EQ(readFileVersion(kVersion1), (FileVersion{{1, 0, 0, 0}, 4}));
  // The missing ProductVersion string is added; every length and pad follows.
  EXPECT_EQ(stampVersion(kVersion1, version), kVersion2);
  EXPECT_EQ(stampVersion(kVersion2, version), kVersion2);
  EXPECT_EQ(readFileVersion(stampVersion(kVersion2, *parseFileVersion(L"3.0.1"))),
            (FileVersion{{3, 0, 1, 0}, 4}));
}

TEST(VersionInfo, DamagedBlocksAreRefused) {
  Bytes cut(kVersion1.begin(), kVersion1.begin() + 100);
  Bytes wrongKey = kVersion1;
  wrongKey[6] = 'W';
  Bytes noSignature = kVersion1;
  noSignature[40] ^= 1;
  Bytes childPastParent = kVersion1;
  childPastParent[0x5C] = 0xFF;  // StringFileInfo's length
  for (const Bytes& block : {cut, wrongKey, noSignature, childPastParent, Bytes{}}) {
    EXPECT_THROW(readFileVersion(block), Failure);
    EXPECT_THROW(stampVersion(block, FileVersion{}), Failure);
  }
}

}  // namespace
}  // namespace aerolith::pack
