#include "pack/bundle_reader.hpp"

#include <gtest/gtest.h>

#include "bundle/crc32c.hpp"
#include "bundle/format.hpp"
#include "pack/failure.hpp"
#include "pack/frames.hpp"
#include "sys/byte_order.hpp"

namespace aerolith::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;
using bundle::EntryRecord;

std::wstring failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.message();
  }
  return L"(no failure)";
}

void sealCrc(Bytes& resource) {
  sys::storeLe32(resource.data(), bundle::crc32c::value(std::span(resource).subspan(4)));
}

// A bundle of real frames for the given contents, all at the top level.
BundleBytes makeBundle(const std::vector<Bytes>& contents) {
  FrameCompressor compressor(1);
  bundle::ManifestWriter manifest;
  Bytes payload(4, 0);
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const Bytes frame = compressor.compress(contents[i]);
    manifest.add({L"", L"f" + std::to_wstring(i), static_cast<std::uint32_t>(contents[i].size()),
                  bundle::crc32c::value(contents[i]), static_cast<std::uint32_t>(frame.size()),
                  bundle::crc32c::value(frame), static_cast<std::uint32_t>(payload.size() - 4), 7});
    payload.insert(payload.end(), frame.begin(), frame.end());
  }
  sealCrc(payload);
  return {std::move(manifest).finish(), payload};
}

// The manifest of one entry with a given directory-length field and text.
Bytes manifestWithDirectory(std::uint32_t length, const Bytes& text) {
  Bytes manifest(8, 0);
  sys::storeLe32(manifest.data() + 4, 1);
  sys::appendLe32(manifest, length);
  manifest.insert(manifest.end(), text.begin(), text.end());
  sys::appendLe32(manifest, 2);
  manifest.insert(manifest.end(), {'a', 0});
  manifest.resize(manifest.size() + bundle::format::kFixedFieldsSize, 0);
  sealCrc(manifest);
  return manifest;
}

TEST(BundleReader, ReadsBackEveryEntryAndItsContent) {
  const std::vector<Bytes> contents = {Bytes{}, Bytes(300, 'x'), Bytes{1, 2, 3}};
  const BundleBytes bundle = makeBundle(contents);
  const BundleCheck check = checkBundle(bundle);
  EXPECT_TRUE(check.problems.empty());
  ASSERT_EQ(check.manifest.entries.size(), 3u);
  EXPECT_EQ(check.manifest.trailingBytes, 0u);
  for (std::size_t i = 0; i < contents.size(); ++i) {
    EXPECT_EQ(extractContent(bundle, check.manifest.entries[i]), contents[i]);
  }
  EXPECT_EQ(relativePath(EntryRecord{L"a\\b", L"c.txt"}), L"a\\b\\c.txt");
  EXPECT_EQ(relativePath(EntryRecord{L"", L"c.txt"}), L"c.txt");
}

TEST(BundleReader, NamesTheDamagedEntryAndKeepsChecking) {
  BundleBytes bundle = makeBundle({Bytes(500, 'a'), Bytes(500, 'b'), Bytes(500, 'c')});
  const auto entries = readEntries(bundle.manifest, bundle.payload.size()).entries;
  bundle.payload[4 + entries[1].offset + 3] ^= 0x10;
  const BundleCheck check = checkBundle(bundle);
  ASSERT_EQ(check.problems.size(), 2u);
  EXPECT_NE(check.problems[0].find(L"payload's CRC-32C"), std::wstring::npos);
  EXPECT_NE(check.problems[1].find(L"entry 1 'f1': the compressed bytes give"), std::wstring::npos);
}

TEST(BundleReader, ContentCrcAndSizeAreCheckedAfterDecompression) {
  BundleBytes bundle = makeBundle({Bytes(50, 'a')});
  EntryRecord entry = readEntries(bundle.manifest, bundle.payload.size()).entries[0];
  entry.crc32c ^= 1;
  EXPECT_NE(failureOf([&] { extractContent(bundle, entry); }).find(L"the content gives"),
            std::wstring::npos);
  entry.crc32c ^= 1;
  entry.size = 49;
  EXPECT_NE(failureOf([&] { extractContent(bundle, entry); }).find(L"entry's size is 49"),
            std::wstring::npos);
}

TEST(BundleReader, RefusesFieldsOutsideTheFormat) {
  const BundleBytes good = makeBundle({Bytes(10, 'a')});
  const std::uint64_t payloadSize = good.payload.size();
  EXPECT_NE(failureOf([&] {
              readEntries(manifestWithDirectory(3, {'a', 0, 'b'}), 100);
            }).find(L"directory text length 3 is odd"),
            std::wstring::npos);
  EXPECT_NE(failureOf([&] {
              readEntries(manifestWithDirectory(2, {0, 0}), 100);
            }).find(L"directory text holds a zero code unit"),
            std::wstring::npos);
  EXPECT_NE(failureOf([&] {
              readEntries(manifestWithDirectory(0x80000000, {}), 100);
            }).find(L"directory length 2147483648 is not below 2^31"),
            std::wstring::npos);
  EXPECT_NE(failureOf([&] {
              readEntries(manifestWithDirectory(40, {}), 100);
            }).find(L"runs past the end of the manifest"),
            std::wstring::npos);

  Bytes manifest = good.manifest;
  sys::storeLe32(manifest.data() + 4, 2);  // one entry more than present
  EXPECT_NE(failureOf([&] {
              readEntries(manifest, payloadSize);
            }).find(L"manifest entry 1 (of 2) at byte"),
            std::wstring::npos);
  sys::storeLe32(manifest.data() + 4, 0);
  EXPECT_NE(failureOf([&] { readEntries(manifest, payloadSize); }).find(L"entry count is 0"),
            std::wstring::npos);
  EXPECT_NE(
      failureOf([&] { readEntries(good.manifest, payloadSize - 1); }).find(L"run past the payload"),
      std::wstring::npos);

  manifest = good.manifest;
  manifest.push_back(0xEE);
  EXPECT_EQ(readEntries(manifest, payloadSize).trailingBytes, 1u);
}

TEST(BundleReader, ResourceCrcAndSizeAreChecked) {
  const BundleBytes good = makeBundle({Bytes(10, 'a')});
  EXPECT_NO_THROW(checkResourceCrc(good.payload, L"payload"));
  Bytes damaged = good.manifest;
  damaged.back() ^= 1;
  EXPECT_NE(failureOf([&] {
              checkResourceCrc(damaged, L"manifest");
            }).find(L"the manifest's CRC-32C is 0x"),
            std::wstring::npos);
  EXPECT_NE(failureOf([&] {
              checkResourceCrc(Bytes{1, 2, 3}, L"payload");
            }).find(L"too short"),
            std::wstring::npos);
  // Four bytes of CRC over nothing: the CRC of nothing is 0.
  EXPECT_NO_THROW(checkResourceCrc(Bytes{0, 0, 0, 0}, L"payload"));
}

}  // namespace
}  // namespace aerolith::pack
