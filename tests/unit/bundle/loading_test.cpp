#include "bundle/loading.hpp"

#include <gtest/gtest.h>

#include <string>

#include "base/byte_order.hpp"
#include "bundle/format.hpp"
#include "bundle_builder.hpp"
#include "support/results.hpp"

namespace aerolith::bundle {
namespace {

// Nothing watches a test's signs of life.
diag::Progress unwatched;

using testing::BundleBuilder;
using testing::BundleBytes;
using testing::reseal;

std::optional<ErrorTriple> read(const BundleBytes& bytes, FilesMap& files) {
  return testing::failureOf(readManifest(bytes.view(), files, unwatched));
}

std::optional<ErrorTriple> read(const BundleBytes& bytes) {
  FilesMap files;
  return read(bytes, files);
}

ErrorTriple triple(Stage stage, std::int64_t first, std::int64_t second) {
  return {stage, first, second};
}

BundleBytes threeFiles() {
  BundleBuilder builder;
  builder.add(L"", L"Aerolith.exe", "main");
  builder.add(L"plugins", L"hidapi.dll", "hid");
  builder.add(L"plugins\\x64", L"Hidapi.dll", "hid 64");
  return builder.build();
}

TEST(CheckResource, EachFailedStepHasItsSubCode) {
  using sys::ResourceFailure;
  const std::uint8_t byte = 0;
  const struct {
    ResourceFailure failure;
    std::int64_t manifestCode;
  } steps[] = {{ResourceFailure::kNotFound, 1},
               {ResourceFailure::kNotLoaded, 2},
               {ResourceFailure::kNotLocked, 3},
               {ResourceFailure::kEmpty, 4}};
  for (const auto& step : steps) {
    const sys::ResourceLookup lookup = base::fail(step.failure);
    EXPECT_EQ(testing::failureOf(checkResource(lookup, ResourceKind::kManifest)),
              triple(Stage::kResources, step.manifestCode, 0));
    EXPECT_EQ(testing::failureOf(checkResource(lookup, ResourceKind::kPayload)),
              triple(Stage::kResources, step.manifestCode + 10, 0));
  }
  EXPECT_EQ(testing::failureOf(checkResource(std::span(&byte, 1), ResourceKind::kPayload)),
            std::nullopt);
}

// A resource size is read as a signed 32-bit number, so 2^31 bytes or more
// is no size above 0. The bytes are never touched, so a span that claims them
// is enough.
TEST(CheckResource, ASizeOfTwoToTheThirtyFirstOrMoreCountsAsEmpty) {
  const auto* start = reinterpret_cast<const std::uint8_t*>(16);
  EXPECT_EQ(
      testing::failureOf(checkResource(std::span(start, 0x80000000), ResourceKind::kManifest)),
      triple(Stage::kResources, 4, 0));
  EXPECT_EQ(testing::failureOf(checkResource(std::span(start, 0x7FFFFFFF), ResourceKind::kPayload)),
            std::nullopt);
}

TEST(ReadManifest, FillsTheFilesMapInManifestOrder) {
  FilesMap files;
  const BundleBytes bytes = threeFiles();
  ASSERT_EQ(read(bytes, files), std::nullopt);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files.at(BundlePath(L"Aerolith.exe"))->index, 0);
  EXPECT_EQ(files.at(BundlePath(L"plugins/hidapi.dll"))->index, 1);
  EXPECT_EQ(files.at(BundlePath(L"plugins\\x64\\Hidapi.dll"))->index, 2);
  // The map holds the only reference: loading keeps none of its own.
  EXPECT_EQ(files.at(BundlePath(L"Aerolith.exe")).use_count(), 1);
}

TEST(ReadManifest, CrcMismatchPrintsBothValuesUnsigned) {
  BundleBytes bytes = threeFiles();
  const std::uint32_t computed = base::loadLe32(bytes.manifest.data());
  base::storeLe32(bytes.manifest.data(), 0xFFFFFFFF);
  const auto failure = read(bytes);
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, ErrorTriple::crcMismatch(Stage::kManifestCrc, computed, 0xFFFFFFFF));
  EXPECT_EQ(failure->text(), L"2." + std::to_wstring(computed) + L".4294967295");

  // The CRC covers everything after it, bytes after the last entry included.
  bytes = threeFiles();
  bytes.manifest.push_back(0);
  EXPECT_EQ(read(bytes)->stage, Stage::kManifestCrc);
  reseal(bytes.manifest);
  EXPECT_EQ(read(bytes), std::nullopt);
}

// A manifest shorter than its header is never read past its end: it fails as
// a manifest CRC mismatch, even where the few bytes there agree.
TEST(ReadManifest, AManifestShorterThanItsHeaderIsACrcMismatch) {
  const std::uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
  const std::vector<std::uint8_t> payload(4);
  for (std::size_t size = 1; size < 8; ++size) {
    BundleBytes shortOne{{bytes, bytes + size}, payload};
    const auto failure = read(shortOne);
    ASSERT_TRUE(failure) << size;
    EXPECT_EQ(failure->stage, Stage::kManifestCrc) << size;
  }
  EXPECT_EQ(*read({{0x34, 0x12}, payload}),
            ErrorTriple::crcMismatch(Stage::kManifestCrc, 0, 0x1234));
  // Four zero bytes: the CRC of nothing is 0, and still the count is missing.
  EXPECT_EQ(*read({{0, 0, 0, 0}, payload}), ErrorTriple::crcMismatch(Stage::kManifestCrc, 0, 0));
}

TEST(ReadManifest, EntryCountBelowOneIsStageThree) {
  for (const std::uint32_t count : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    BundleBytes bytes = threeFiles();
    base::storeLe32(bytes.manifest.data() + format::kEntryCountOffset, count);
    reseal(bytes.manifest);
    EXPECT_EQ(read(bytes), triple(Stage::kEntryCount, static_cast<std::int32_t>(count), 0));
  }
  EXPECT_EQ(triple(Stage::kEntryCount, INT32_MIN, 0).text(), L"3.-2147483648.0");
}

TEST(ReadManifest, ACountBeyondTheEntriesFailsAtTheMissingOne) {
  BundleBytes bytes = threeFiles();
  base::storeLe32(bytes.manifest.data() + format::kEntryCountOffset, 4);
  reseal(bytes.manifest);
  EXPECT_EQ(read(bytes), triple(Stage::kEntryParse, 3, 1));
  // A huge count is not trusted with a reservation: it fails the same way.
  base::storeLe32(bytes.manifest.data() + format::kEntryCountOffset, 0x7FFFFFFF);
  reseal(bytes.manifest);
  EXPECT_EQ(read(bytes), triple(Stage::kEntryParse, 3, 1));
}

TEST(ReadManifest, AFailedEntryStopsLoadingWithItsIndexAndCode) {
  BundleBuilder builder;
  builder.add(L"", L"a", "a");
  builder.add(L"..", L"evil.dll", "evil");
  builder.add(L"", L"c", "c");
  EXPECT_EQ(read(builder.build()), triple(Stage::kEntryParse, 1, 15));
  EXPECT_EQ(triple(Stage::kEntryParse, 1, 15).text(), L"5.1.15");

  builder.record(1).directory = L"ok";
  builder.record(2).offset = 1000;
  EXPECT_EQ(read(builder.build()), triple(Stage::kEntryParse, 2, 11));
}

TEST(ReadManifest, EqualKeysKeepTheFirstEntryAndCaseMakesKeysDistinct) {
  BundleBuilder builder;
  builder.add(L"sub", L"a.dll", "first");
  builder.add(L"sub\\", L"a.dll", "second");
  builder.add(L"sub", L"A.dll", "third");
  FilesMap files;
  ASSERT_EQ(read(builder.build(), files), std::nullopt);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at(BundlePath(L"sub\\a.dll"))->index, 0);
  EXPECT_EQ(files.at(BundlePath(L"sub\\A.dll"))->index, 2);
}

// Loading reads no payload byte: a damaged payload shows only in its own check.
TEST(CheckPayload, ADamagedPayloadLoadsAndFailsOnlyItsOwnCheck) {
  BundleBuilder builder;
  builder.add(L"", L"a", std::string(100, 'a'));
  BundleBytes bytes = builder.build();
  const std::uint32_t stored = base::loadLe32(bytes.payload.data());
  bytes.payload.back() ^= 1;
  EXPECT_EQ(read(bytes), std::nullopt);
  const auto failure = testing::failureOf(checkPayload(bytes.view(), unwatched));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->stage, Stage::kPayloadCrc);
  EXPECT_EQ(failure->second, stored);
  EXPECT_NE(failure->first, stored);
  reseal(bytes.payload);
  EXPECT_EQ(testing::failureOf(checkPayload(bytes.view(), unwatched)), std::nullopt);
}

TEST(CheckPayload, APayloadShorterThanItsCrcIsAMismatch) {
  const BundleBytes manifestOnly = threeFiles();
  for (const std::vector<std::uint8_t>& payload :
       {std::vector<std::uint8_t>{0}, {0, 0}, {0x01, 0x02, 0x03}}) {
    BundleBytes bytes{manifestOnly.manifest, payload};
    const auto failure = testing::failureOf(checkPayload(bytes.view(), unwatched));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->stage, Stage::kPayloadCrc);
    EXPECT_EQ(failure->first, 0);
  }
  // CRC, then no frames: intact.
  BundleBytes empty{manifestOnly.manifest, {0, 0, 0, 0}};
  EXPECT_EQ(testing::failureOf(checkPayload(empty.view(), unwatched)), std::nullopt);
}

}  // namespace
}  // namespace aerolith::bundle
