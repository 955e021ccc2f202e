#include "sys/image/appended_resources.hpp"

#include <gtest/gtest.h>

#include <string_view>

namespace aerolith::sys {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Status = AppendedTable::Status;

Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes withResources(Bytes image, std::initializer_list<ResourceBlock> blocks) {
  const Bytes appended = encodeAppendedResources(image.size(), std::vector(blocks));
  image.insert(image.end(), appended.begin(), appended.end());
  return image;
}

std::string_view blockText(const Bytes& file, const AppendedResource& resource) {
  return {reinterpret_cast<const char*>(file.data()) + resource.offset, resource.size};
}

TEST(AppendedResources, RoundTripsBlocksAfterTheImage) {
  const Bytes manifest = bytesOf("manifest"), payload = bytesOf("payload bytes"), empty;
  const Bytes file =
      withResources(bytesOf("\x7f"
                            "ELF image"),
                    {{10, 48978, 1033, manifest}, {10, 19266, 1033, payload}, {10, 7, 0, empty}});
  const AppendedTable table = readAppendedTable(file);
  ASSERT_EQ(table.status, Status::kPresent);
  EXPECT_EQ(table.imageSize, 10u);
  ASSERT_EQ(table.resources.size(), 3u);
  const AppendedResource* found = findAppendedResource(table, 10, 19266);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->language, 1033u);
  EXPECT_EQ(blockText(file, *found), "payload bytes");
  EXPECT_EQ(blockText(file, *findAppendedResource(table, 10, 48978)), "manifest");
  EXPECT_EQ(findAppendedResource(table, 10, 7)->size, 0u);
  EXPECT_EQ(findAppendedResource(table, 3, 48978), nullptr);
}

TEST(AppendedResources, AFileWithoutTrailerHasNoTable) {
  for (const Bytes& file : {Bytes{}, bytesOf("short"), Bytes(100, 0x41)}) {
    const AppendedTable table = readAppendedTable(file);
    EXPECT_EQ(table.status, Status::kAbsent);
    EXPECT_EQ(table.imageSize, file.size());
    EXPECT_TRUE(table.resources.empty());
  }
  const Bytes emptyTable = withResources(bytesOf("image"), {});
  EXPECT_EQ(readAppendedTable(emptyTable).status, Status::kPresent);
}

TEST(AppendedResources, ReplacingATableKeepsTheImageOnly) {
  const Bytes image = bytesOf("image");
  const Bytes first = withResources(image, {{10, 1, 0, bytesOf("old")}});
  const AppendedTable old = readAppendedTable(first);
  const Bytes second = withResources(Bytes(first.begin(), first.begin() + old.imageSize),
                                     {{10, 1, 0, bytesOf("new!")}});
  const AppendedTable table = readAppendedTable(second);
  ASSERT_EQ(table.status, Status::kPresent);
  EXPECT_EQ(table.imageSize, image.size());
  ASSERT_EQ(table.resources.size(), 1u);
  EXPECT_EQ(blockText(second, table.resources[0]), "new!");
}

// Any table that a truncated or altered file holds is damaged, never read past.
TEST(AppendedResources, DamageIsToldApartFromAbsence) {
  const Bytes good = withResources(bytesOf("image"), {{10, 1, 0, bytesOf("block")}});
  const std::size_t trailer = good.size() - 28;
  const std::size_t record = trailer - 28;

  Bytes truncated(good.begin() + 3, good.end());
  EXPECT_EQ(readAppendedTable(truncated).status, Status::kDamaged);

  // Each field of the trailer and the record, made too large or too small.
  const std::pair<std::size_t, std::uint8_t> changes[] = {
      {trailer, 0x40},      {trailer + 7, 0xFF},  {trailer + 8, 0x40}, {trailer + 15, 0xFF},
      {trailer + 16, 0x40}, {trailer + 19, 0xFF}, {record + 12, 0x01}, {record + 12, 0x40},
      {record + 19, 0xFF},  {record + 20, 0x40},  {record + 27, 0xFF}};
  for (const auto& [at, mask] : changes) {
    Bytes altered = good;
    altered[at] ^= mask;
    const AppendedTable table = readAppendedTable(altered);
    EXPECT_EQ(table.status, Status::kDamaged) << "byte " << at;
    EXPECT_TRUE(table.resources.empty());
  }
}

}  // namespace
}  // namespace aerolith::sys
