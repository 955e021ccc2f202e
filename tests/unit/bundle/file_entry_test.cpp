#include "bundle/file_entry.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "base/byte_order.hpp"
#include "bundle/bundle_view.hpp"
#include "bundle/format.hpp"
#include "bundle/frame_decoder.hpp"
#include "bundle_builder.hpp"
#include "diag/progress.hpp"
#include "support/results.hpp"

namespace aerolith::bundle {
namespace {

// Nothing watches a test's signs of life.
diag::Progress unwatched;

using testing::BundleBuilder;
using testing::BundleBytes;

// Parses the entry at manifest byte 8 of the bytes given.
struct Parsed {
  FileEntry entry;
  EntryResult result;
  std::int32_t cursor;
};

Parsed parseFirst(const BundleBytes& bytes) {
  Parsed parsed{{}, EntryResult::kOk, format::kEntriesOffset};
  parsed.result = testing::codeOf(parsed.entry.parse(bytes.view(), parsed.cursor, 0));
  return parsed;
}

BundleBytes oneEntry(const std::wstring& directory, const std::wstring& name,
                     const std::string& content = "content") {
  BundleBuilder builder;
  builder.add(directory, name, content);
  return builder.build();
}

TEST(ParseEntry, FillsEveryFieldAndMovesTheCursorPastTheEntry) {
  BundleBuilder builder;
  builder.add(L"", L"first.txt", "first");
  builder.add(L"plugins\\x64", L"hidapi.dll", std::string(5000, 'h'));
  const BundleBytes bytes = builder.build();
  FileEntry first;
  FileEntry second;
  std::int32_t cursor = format::kEntriesOffset;
  ASSERT_EQ(testing::codeOf(first.parse(bytes.view(), cursor, 0)), EntryResult::kOk);
  EXPECT_EQ(cursor, 8 + 36 + 18);
  ASSERT_EQ(testing::codeOf(second.parse(bytes.view(), cursor, 1)), EntryResult::kOk);
  EXPECT_EQ(cursor, static_cast<std::int32_t>(bytes.manifest.size()));

  const EntryRecord& record = builder.record(1);
  EXPECT_EQ(second.index, 1);
  EXPECT_EQ(second.directory, L"plugins\\x64");
  EXPECT_EQ(second.name, L"hidapi.dll");
  EXPECT_EQ(second.relativePath.text(), L"plugins\\x64\\hidapi.dll");
  EXPECT_EQ(second.size, 5000);
  EXPECT_EQ(second.crc32c, record.crc32c);
  EXPECT_EQ(second.compressedSize, static_cast<std::int32_t>(record.compressedSize));
  EXPECT_EQ(second.compressedCrc32c, record.compressedCrc32c);
  EXPECT_EQ(second.dataOffset, static_cast<std::int32_t>(record.offset) + 4);
  EXPECT_EQ(second.compressedData, bytes.payload.data() + second.dataOffset);
  EXPECT_EQ(second.fileTime, record.fileTime);
  EXPECT_TRUE(second.content.empty());
  EXPECT_EQ(first.relativePath.text(), L"first.txt");
  EXPECT_TRUE(first.directory.empty());
}

// A manifest cut at every byte of its one entry fails with the code of the
// field that no longer fits, and never reads past the cut.
TEST(ParseEntry, EachFieldThatRunsPastTheEndHasItsOwnCode) {
  const BundleBytes whole = oneEntry(L"ab", L"x.y");  // D = 4, N = 6: 46 bytes + 8
  struct Field {
    std::size_t end;  // manifest byte just past the field
    EntryResult code;
  };
  const Field fields[] = {
      {12, EntryResult::kBadDirectoryLength},
      {16, EntryResult::kDirectoryPastEnd},
      {20, EntryResult::kBadNameLength},
      {26, EntryResult::kNamePastEnd},
      {30, EntryResult::kBadSize},
      {34, EntryResult::kContentCrcPastEnd},
      {38, EntryResult::kBadCompressedSize},
      {42, EntryResult::kCompressedCrcPastEnd},
      {46, EntryResult::kBadOffset},
      {54, EntryResult::kFileTimePastEnd},
  };
  ASSERT_EQ(whole.manifest.size(), 54u);
  std::size_t fieldStart = format::kEntriesOffset;
  for (const Field& field : fields) {
    for (std::size_t cut = fieldStart; cut < field.end; ++cut) {
      // Cut copies live on the heap at their exact size, so a read past the cut
      // is a sanitizer error.
      BundleBytes truncated = whole;
      truncated.manifest.resize(cut);
      truncated.manifest.shrink_to_fit();
      const Parsed parsed = parseFirst(truncated);
      EXPECT_EQ(parsed.result, field.code) << "cut at " << cut;
      EXPECT_EQ(parsed.cursor, static_cast<std::int32_t>(fieldStart)) << "cut at " << cut;
    }
    fieldStart = field.end;
  }
  EXPECT_EQ(parseFirst(whole).result, EntryResult::kOk);
}

// Lengths, sizes and offsets are read as signed 32-bit values: 2^31 and more is
// refused as a bad field before it is used, whatever follows.
TEST(ParseEntry, FieldsOfTwoToTheThirtyFirstOrMoreAreRefused) {
  const BundleBytes whole = oneEntry(L"ab", L"x.y");
  const struct {
    std::size_t position;
    EntryResult code;
  } fields[] = {{8, EntryResult::kBadDirectoryLength},
                {16, EntryResult::kBadNameLength},
                {26, EntryResult::kBadSize},
                {34, EntryResult::kBadCompressedSize},
                {42, EntryResult::kBadOffset}};
  for (const auto& field : fields) {
    for (const std::uint32_t value : {0x80000000u, 0x80000004u, 0xFFFFFFFFu}) {
      BundleBytes bytes = whole;
      base::storeLe32(bytes.manifest.data() + field.position, value);
      const Parsed parsed = parseFirst(bytes);
      EXPECT_EQ(parsed.result, field.code) << field.position << " " << value;
      EXPECT_EQ(parsed.cursor, static_cast<std::int32_t>(field.position + 4));
    }
  }
}

TEST(ParseEntry, FrameMustEndWithinThePayload) {
  BundleBuilder builder;
  builder.add(L"", L"a", "alpha");
  const BundleBytes exact = builder.build();
  EXPECT_EQ(parseFirst(exact).result, EntryResult::kOk);  // reaches the last payload byte

  BundleBytes oneMore = exact;
  oneMore.payload.pop_back();
  oneMore.payload.shrink_to_fit();
  EXPECT_EQ(parseFirst(oneMore).result, EntryResult::kFramePastPayload);

  // An offset that fits 31 bits but not once the payload CRC is counted in.
  builder.record(0).offset = 0x7FFFFFFC;
  builder.record(0).compressedSize = 0;
  EXPECT_EQ(parseFirst(builder.build()).result, EntryResult::kFramePastPayload);
  builder.record(0).offset = 0x7FFFFFFF;
  builder.record(0).compressedSize = 0x7FFFFFFF;
  EXPECT_EQ(parseFirst(builder.build()).result, EntryResult::kFramePastPayload);

  // An empty frame right after the last byte still lies inside.
  builder.record(0).offset = static_cast<std::uint32_t>(exact.payload.size() - 4);
  builder.record(0).compressedSize = 0;
  const Parsed empty = parseFirst(builder.build());
  EXPECT_EQ(empty.result, EntryResult::kOk);
  EXPECT_EQ(empty.entry.dataOffset, static_cast<std::int32_t>(exact.payload.size()));
}

TEST(ParseEntry, EmptyNameFailsWhateverFollows) {
  BundleBytes bytes = oneEntry(L"", L"x");
  base::storeLe32(bytes.manifest.data() + 12, 0);  // name length
  EXPECT_EQ(parseFirst(bytes).result, EntryResult::kEmptyName);
  bytes.manifest.resize(16);
  EXPECT_EQ(parseFirst(bytes).result, EntryResult::kEmptyName);
}

TEST(ParseEntry, TextsAreCutAtTheirFirstZeroUnitAndSkipAnOddByte) {
  // Directory "ab\0cd" (10 bytes), name "x.y" plus one odd byte (7 bytes).
  std::vector<std::uint8_t> manifest(8);
  const auto text = [&](std::initializer_list<std::uint8_t> bytes) {
    base::appendLe32(manifest, static_cast<std::uint32_t>(bytes.size()));
    manifest.insert(manifest.end(), bytes);
  };
  text({'a', 0, 'b', 0, 0, 0, 'c', 0, 'd', 0});
  text({'x', 0, '.', 0, 'y', 0, 'z'});
  manifest.resize(manifest.size() + 28);
  BundleBytes bytes{manifest, std::vector<std::uint8_t>(4)};
  const Parsed parsed = parseFirst(bytes);
  ASSERT_EQ(parsed.result, EntryResult::kOk);
  EXPECT_EQ(parsed.entry.directory, L"ab");
  EXPECT_EQ(parsed.entry.name, L"x.y");
  EXPECT_EQ(parsed.entry.relativePath.text(), L"ab\\x.y");
  EXPECT_EQ(parsed.cursor, static_cast<std::int32_t>(manifest.size()));
}

TEST(ParseEntry, SurrogatePairsDecodeToOneCharacterWhereWideIsUtf32) {
  const Parsed parsed = parseFirst(oneEntry(L"J\u00e9r\u00f4me", L"\U0001F600.txt"));
  ASSERT_EQ(parsed.result, EntryResult::kOk);
  EXPECT_EQ(parsed.entry.relativePath.text(), L"J\u00e9r\u00f4me\\\U0001F600.txt");
}

TEST(ParseEntry, DirectoryEndingInASeparatorGetsNoSecond) {
  const Parsed parsed = parseFirst(oneEntry(L"plugins\\", L"a.dll"));
  ASSERT_EQ(parsed.result, EntryResult::kOk);
  EXPECT_EQ(parsed.entry.relativePath.text(), L"plugins\\a.dll");
}

TEST(ParseEntry, PathsOutsideTheInstallDirectoryAreRefused) {
  const struct {
    const wchar_t* directory;
    const wchar_t* name;
  } cases[] = {{L"..", L"evil.dll"},        {L"\\Windows", L"evil.dll"}, {L"C:", L"evil.dll"},
               {L"a\\..\\..", L"evil.dll"}, {L"", L"..\\evil.dll"},      {L"a", L"NUL"}};
  for (const auto& c : cases) {
    const Parsed parsed = parseFirst(oneEntry(c.directory, c.name));
    EXPECT_EQ(parsed.result, EntryResult::kUnsafePath) << c.directory << L" " << c.name;
    // Refused as soon as the name is read.
    EXPECT_EQ(
        parsed.cursor,
        8 + 8 + 2 * static_cast<std::int32_t>(std::wcslen(c.directory) + std::wcslen(c.name)));
  }
  // A name that the zero cut leaves empty names no file at all.
  std::vector<std::uint8_t> manifest(8);
  base::appendLe32(manifest, 0);
  base::appendLe32(manifest, 2);
  manifest.insert(manifest.end(), {0, 0});
  manifest.resize(manifest.size() + 28);
  EXPECT_EQ(parseFirst({manifest, std::vector<std::uint8_t>(4)}).result, EntryResult::kUnsafePath);
}

// Decompression.

struct Extracted {
  BundleBytes bytes;
  FileEntry entry;
};

Extracted parsedEntry(BundleBuilder& builder) {
  Extracted extracted{builder.build(), {}};
  std::int32_t cursor = format::kEntriesOffset;
  EXPECT_EQ(testing::codeOf(extracted.entry.parse(extracted.bytes.view(), cursor, 0)),
            EntryResult::kOk);
  return extracted;
}

std::string contentOf(const FileEntry& entry) {
  return {entry.content.begin(), entry.content.end()};
}

TEST(DecompressEntry, YieldsTheExactContentForEveryFrameSizeField) {
  // No content-size byte, then 1, 2 (256 to 65,791 bytes) and 4 bytes of it.
  for (const std::size_t size : {0, 1, 255, 256, 65791, 65792, 300000}) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7) ^ (i >> 9));
    BundleBuilder builder;
    builder.add(L"", L"file", content);
    Extracted extracted = parsedEntry(builder);
    ASSERT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)), EntryResult::kOk) << size;
    EXPECT_EQ(contentOf(extracted.entry), content);
  }
}

std::vector<std::uint8_t> frameOf(const std::string& content, bool checksum, bool contentSize) {
  std::vector<std::uint8_t> frame(ZSTD_compressBound(content.size()));
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, checksum ? 1 : 0);
  ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, contentSize ? 1 : 0);
  frame.resize(ZSTD_compress2(context, frame.data(), frame.size(), content.data(), content.size()));
  ZSTD_freeCCtx(context);
  return frame;
}

TEST(DecompressEntry, AcceptsFramesWithAChecksumOrWithoutAContentSize) {
  const std::string content(10000, 'q');
  std::vector<std::uint8_t> frame = frameOf(content, true, false);
  ASSERT_EQ(ZSTD_getFrameContentSize(frame.data(), frame.size()), ZSTD_CONTENTSIZE_UNKNOWN);
  BundleBuilder builder;
  builder.addFrame(L"", L"file", content, frame);
  Extracted extracted = parsedEntry(builder);
  EXPECT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)), EntryResult::kOk);
  EXPECT_EQ(contentOf(extracted.entry), content);

  // The frame's own checksum is checked too: a mismatch is a damaged frame.
  frame[frame.size() - 1] ^= 1;
  BundleBuilder damaged;
  damaged.addFrame(L"", L"file", content, frame);
  Extracted bad = parsedEntry(damaged);
  EXPECT_EQ(testing::codeOf(bad.entry.decompress(unwatched)), EntryResult::kSizeMismatch);
}

TEST(DecompressEntry, DamagedCompressedBytesFailTheirCrcBeforeDecoding) {
  BundleBuilder builder;
  builder.add(L"", L"file", std::string(1000, 'x'));
  builder.frames()[5] ^= 0x10;
  Extracted extracted = parsedEntry(builder);
  extracted.entry.content = {1, 2, 3};
  EXPECT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)),
            EntryResult::kCompressedCrcMismatch);
  EXPECT_EQ(extracted.entry.content, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(DecompressEntry, AFrameOfAnotherSizeFailsAsSizeMismatchNeverAsCrc) {
  const std::string content(3000, 'z');
  for (const std::int64_t delta : {-1, 1}) {
    BundleBuilder builder;
    builder.add(L"", L"file", content).size = static_cast<std::uint32_t>(content.size() + delta);
    Extracted extracted = parsedEntry(builder);
    EXPECT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)), EntryResult::kSizeMismatch)
        << delta;
  }
}

TEST(DecompressEntry, ADamagedFrameWithAMatchingCrcFailsAsSizeMismatch) {
  BundleBuilder builder;
  EntryRecord& record = builder.add(L"", L"file", std::string(1000, 'x'));
  builder.frames()[0] ^= 0xFF;  // the magic number
  record.compressedCrc32c = crc32c::value(builder.frames());
  Extracted extracted = parsedEntry(builder);
  EXPECT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)), EntryResult::kSizeMismatch);
}

TEST(DecompressEntry, ContentThatFailsItsCrcIsReported) {
  BundleBuilder builder;
  builder.add(L"", L"file", "some content").crc32c ^= 0x80000000;
  Extracted extracted = parsedEntry(builder);
  EXPECT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)),
            EntryResult::kContentCrcMismatch);
}

TEST(DecompressEntry, EmptyContentHasCrcZero) {
  BundleBuilder builder;
  builder.add(L"", L"empty", "");
  Extracted extracted = parsedEntry(builder);
  EXPECT_EQ(extracted.entry.crc32c, 0u);
  EXPECT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)), EntryResult::kOk);
  EXPECT_TRUE(extracted.entry.content.empty());
}

// Content of several decoding pieces that packs small yet has real literals
// and matches: a random 64 KiB block repeated.
std::string severalPieces() {
  std::string block(65536, '\0');
  std::minstd_rand random(15);
  for (char& c : block) c = static_cast<char>(random());
  std::string content;
  while (content.size() < 2 * kDecodePiece + 70000) content += block;
  return content;
}

TEST(DecompressEntry, ALargeEntryIsDecodedInPiecesEachASignOfLife) {
  const std::string content = severalPieces();
  std::vector<std::uint8_t> output(content.size());
  std::vector<std::span<const std::uint8_t>> pieces;
  diag::Progress progress;
  ASSERT_TRUE(decodeFrames(
      testing::compressFrame(content), output,
      [&](std::span<const std::uint8_t> piece) { pieces.push_back(piece); }, progress));
  EXPECT_EQ(progress.count(), 3u);
  ASSERT_EQ(pieces.size(), 3u);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_EQ(pieces[i].data(), i == 0 ? output.data() : &pieces[i - 1].back() + 1);
  }
  EXPECT_EQ(&pieces.back().back() + 1, output.data() + output.size());
  EXPECT_EQ(std::string(output.begin(), output.end()), content);

  BundleBuilder builder;
  builder.add(L"", L"big", content);
  Extracted extracted = parsedEntry(builder);
  ASSERT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)), EntryResult::kOk);
  EXPECT_EQ(contentOf(extracted.entry), content);
}

// Failures seen pieces into the frame fail as in a frame decoded at once: a
// damaged block that the frame's checksum catches at its end, a frame without
// a content size that yields a byte more or less, content with another CRC.
TEST(DecompressEntry, ALargeEntryFailsWithTheCodesOfOneDecodedAtOnce) {
  const std::string content = severalPieces();
  std::vector<std::uint8_t> damaged = frameOf(content, true, true);
  damaged[damaged.size() / 2] ^= 0x01;
  BundleBuilder checked;
  checked.addFrame(L"", L"big", content, damaged);
  EXPECT_EQ(testing::codeOf(parsedEntry(checked).entry.decompress(unwatched)),
            EntryResult::kSizeMismatch);
  for (const std::int64_t delta : {-1, 1}) {
    BundleBuilder builder;
    builder.addFrame(L"", L"big", content, frameOf(content, false, false)).size =
        static_cast<std::uint32_t>(content.size() + delta);
    EXPECT_EQ(testing::codeOf(parsedEntry(builder).entry.decompress(unwatched)),
              EntryResult::kSizeMismatch)
        << delta;
  }
  BundleBuilder wrongCrc;
  wrongCrc.add(L"", L"big", content).crc32c ^= 1;
  EXPECT_EQ(testing::codeOf(parsedEntry(wrongCrc).entry.decompress(unwatched)),
            EntryResult::kContentCrcMismatch);
}

// No compressed bytes at all decode to no content, as ZSTD_decompress has it.
TEST(DecompressEntry, NoCompressedBytesYieldNoContent) {
  BundleBuilder builder;
  builder.addFrame(L"", L"empty", "", {});
  builder.addFrame(L"", L"one", "1", {});
  const BundleBytes bytes = builder.build();
  FileEntry empty;
  FileEntry one;
  std::int32_t cursor = format::kEntriesOffset;
  ASSERT_EQ(testing::codeOf(empty.parse(bytes.view(), cursor, 0)), EntryResult::kOk);
  ASSERT_EQ(testing::codeOf(one.parse(bytes.view(), cursor, 1)), EntryResult::kOk);
  EXPECT_EQ(testing::codeOf(empty.decompress(unwatched)), EntryResult::kOk);
  EXPECT_EQ(testing::codeOf(one.decompress(unwatched)), EntryResult::kSizeMismatch);
}

// A manifest may claim any size below 2^31; the frame's headers say what it can
// really yield, and no buffer is allocated for more.
TEST(DecompressEntry, AHugeSizeIsRefusedBeforeItsBufferIsAllocated) {
  BundleBuilder builder;
  builder.add(L"", L"file", "tiny").size = 0x7FFFFFFF;
  Extracted extracted = parsedEntry(builder);
  EXPECT_EQ(testing::codeOf(extracted.entry.decompress(unwatched)), EntryResult::kSizeMismatch);
  EXPECT_EQ(extracted.entry.content.capacity(), 0u);
}

}  // namespace
}  // namespace aerolith::bundle
