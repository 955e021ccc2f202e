#include "bundle/manifest_writer.hpp"

#include <gtest/gtest.h>

#include "base/byte_order.hpp"
#include "crc32c/crc32c.hpp"
#include "bundle/format.hpp"

namespace aerolith::bundle {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ManifestWriter, WritesTheTopLevelEntryOfTheReferenceBundleByteForByte) {
  ManifestWriter writer;
  writer.add(
      {L"", L"hidapi.dll", 159'648, 0xA99BDF7E, 79'918, 0xCC9B2779, 8'167'214, 0x01DB5309A3E23267});
  const Bytes manifest = std::move(writer).finish();

  const Bytes entry(manifest.begin() + format::kEntriesOffset, manifest.end());
  const Bytes expected = {0x00, 0x00, 0x00, 0x00,  // directory length
                          0x14, 0x00, 0x00, 0x00,  // name length 20
                          'h',  0,    'i',  0,    'd',  0,    'a',  0,    'p',  0,    'i',  0, '.',
                          0,    'd',  0,    'l',  0,    'l',  0,    0xA0, 0x6F, 0x02, 0x00,  // size
                          0x7E, 0xDF, 0x9B, 0xA9,                           // content CRC
                          0x2E, 0x38, 0x01, 0x00,                           // compressed size
                          0x79, 0x27, 0x9B, 0xCC,                           // compressed CRC
                          0x2E, 0x9F, 0x7C, 0x00,                           // offset
                          0x67, 0x32, 0xE2, 0xA3, 0x09, 0x53, 0xDB, 0x01};  // file time
  EXPECT_EQ(entry, expected);
  EXPECT_EQ(entry.size(), 56u);
  EXPECT_EQ(base::loadLe32(manifest.data() + format::kEntryCountOffset), 1u);
  EXPECT_EQ(base::loadLe32(manifest.data()),
            crc32c::value(std::span(manifest).subspan(format::kCheckedOffset)));
}

TEST(ManifestWriter, DirectoriesAndAstralNamesTakeTheirUtf16Length) {
  ManifestWriter writer;
  writer.add({L"Modules\\Sim", L"\U0001F600.txt", 1, 2, 3, 4, 5, 6});
  writer.add({L"", L"b", 0, 0, 9, 0, 3, 0});
  const Bytes manifest = std::move(writer).finish();
  EXPECT_EQ(base::loadLe32(manifest.data() + format::kEntryCountOffset), 2u);
  const std::uint8_t* first = manifest.data() + format::kEntriesOffset;
  EXPECT_EQ(base::loadLe32(first), 22u);           // "Modules\Sim": 11 units
  EXPECT_EQ(base::loadLe32(first + 4 + 22), 12u);  // surrogate pair + ".txt": 6 units
  const std::size_t firstSize = format::kEntrySizeWithoutTexts + 22 + 12;
  EXPECT_EQ(manifest.size(),
            format::kEntriesOffset + firstSize + format::kEntrySizeWithoutTexts + 2);
  EXPECT_EQ(base::loadLe32(first + firstSize), 0u);  // second entry at the top level
}

}  // namespace
}  // namespace aerolith::bundle
