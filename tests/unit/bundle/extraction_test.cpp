#include "bundle/extraction.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bundle/format.hpp"
#include "bundle/loading.hpp"
#include "bundle_builder.hpp"
#include "diag/trace_logger.hpp"
#include "support/results.hpp"
#include "support/temp_dir.hpp"

namespace aerolith::bundle {
namespace {

// Nothing watches a test's signs of life.
diag::Progress unwatched;

using testing::BundleBuilder;
using testing::BundleBytes;
using ::testing::ElementsAre;

// Three files; the second frame can be damaged, and the payload CRC with it.
class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::installLogger(
        std::make_unique<diag::TraceLogger>(folder_ / "trace.log", diag::LogLevel::kTrace, 1));
    builder_.add(L"", L"Aerolith.exe", std::string(4000, 'a'));
    builder_.add(L"plugins", L"hidapi.dll", std::string(3000, 'h'));
    builder_.add(L"plugins", L"relay.exe", std::string(2000, 'r'));
    builder_.frames().push_back(0);  // a spare byte that no entry covers
  }
  void TearDown() override { diag::installLogger(nullptr); }

  void load() {
    bytes_ = builder_.build();
    FilesMap files;
    ASSERT_EQ(testing::failureOf(readManifest(bytes_.view(), files, unwatched)), std::nullopt);
    for (const auto& [key, entry] : files) entries_[entry->index] = entry;
  }

  // Flips a bit of the second entry's frame: its own CRC and the payload's fail.
  void damageSecondFrame() {
    bytes_.payload[format::kFramesOffset + builder_.record(1).offset + 3] ^= 0x04;
  }

  // Flips a bit of the spare byte: the payload's CRC fails, every entry is intact.
  void damagePayloadOnly() { bytes_.payload.back() ^= 0x01; }

  FileEntry& entry(int index) { return *entries_[index]; }

  std::optional<ErrorTriple> extract(int index, Stage stage, bool& payloadValidated) {
    return testing::failureOf(
        extractEntry(bytes_.view(), entry(index), stage, payloadValidated, unwatched));
  }

  // The messages logged so far.
  std::vector<std::string> logged() const {
    std::vector<std::string> messages;
    const std::string text = testing::readFile(folder_ / "trace.log");
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = text.find("\r\n", start);
      const std::string record = text.substr(start, end - start);
      messages.push_back(record.substr(record.find(">: ") + 3));
      start = end + 2;
    }
    return messages;
  }

  testing::TempDir folder_;
  BundleBuilder builder_;
  BundleBytes bytes_;
  std::shared_ptr<FileEntry> entries_[3];
};

TEST_F(Extraction, FirstOverwriteVerifiesThePayloadOncePerRun) {
  load();
  bool payloadValidated = false;
  EXPECT_EQ(extract(0, Stage::kReplaceEntry, payloadValidated), std::nullopt);
  EXPECT_TRUE(payloadValidated);
  EXPECT_EQ(extract(1, Stage::kReplaceEntry, payloadValidated), std::nullopt);
  EXPECT_EQ(extract(2, Stage::kAddEntry, payloadValidated), std::nullopt);
  EXPECT_THAT(logged(),
              ElementsAre(" - content crc32 not validated", " - - begin content crc32 validate",
                          " - - end content crc32 validate",       //
                          " - decompress", " -  - decompress ok",  //
                          " - decompress", " -  - decompress ok",  //
                          " - decompress", " -  - decompress ok"));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(entry(i).content.size(), builder_.record(i).size);
  }
}

// An added file relies on its own two CRC values: a damaged payload does not
// stop it, and the flag stays as it was.
TEST_F(Extraction, AddingNeverChecksThePayload) {
  load();
  damagePayloadOnly();
  ASSERT_NE(testing::failureOf(checkPayload(bytes_.view(), unwatched)), std::nullopt);
  bool payloadValidated = false;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(extract(i, Stage::kAddEntry, payloadValidated), std::nullopt);
  }
  EXPECT_FALSE(payloadValidated);
  EXPECT_THAT(logged(), ElementsAre(" - decompress", " -  - decompress ok", " - decompress",
                                    " -  - decompress ok", " - decompress", " -  - decompress ok"));
}

TEST_F(Extraction, AValidatedPayloadIsNotCheckedAgain) {
  load();
  damagePayloadOnly();
  bool payloadValidated = true;
  EXPECT_EQ(extract(0, Stage::kReplaceEntry, payloadValidated), std::nullopt);
  EXPECT_THAT(logged(), ElementsAre(" - decompress", " -  - decompress ok"));
}

TEST_F(Extraction, DamagedPayloadStopsTheFirstOverwriteBeforeDecompressing) {
  load();
  damagePayloadOnly();
  const ErrorTriple failure = checkPayload(bytes_.view(), unwatched).error();
  bool payloadValidated = false;
  EXPECT_EQ(extract(0, Stage::kReplaceEntry, payloadValidated), failure);
  EXPECT_FALSE(payloadValidated);
  EXPECT_TRUE(entry(0).content.empty());
  EXPECT_THAT(logged(),
              ElementsAre(" - content crc32 not validated", " - - begin content crc32 validate"));
}

// With the payload check done, a damaged frame fails in its own right; the
// same frame in a file being added fails with stage 7 and no payload check.
TEST_F(Extraction, DamagedFrameFailsWithTheStageAndIndex) {
  load();
  damageSecondFrame();
  bool validated = true;
  EXPECT_EQ(extract(1, Stage::kReplaceEntry, validated),
            (ErrorTriple{Stage::kReplaceEntry, 1, 12}));
  bool notValidated = false;
  EXPECT_EQ(extract(1, Stage::kAddEntry, notValidated), (ErrorTriple{Stage::kAddEntry, 1, 12}));
  // Before the payload check has run, the payload mismatch comes first.
  EXPECT_EQ(extract(1, Stage::kReplaceEntry, notValidated),
            testing::failureOf(checkPayload(bytes_.view(), unwatched)));
  EXPECT_THAT(logged(),
              ElementsAre(" - decompress", " -  - decompress error",  //
                          " - decompress", " -  - decompress error",  //
                          " - content crc32 not validated", " - - begin content crc32 validate"));
}

TEST_F(Extraction, SizeAndContentFailuresKeepTheirCodes) {
  builder_.record(0).size += 1;
  builder_.record(2).crc32c ^= 1;
  load();
  bool validated = true;
  EXPECT_EQ(extract(0, Stage::kReplaceEntry, validated),
            (ErrorTriple{Stage::kReplaceEntry, 0, 13}));
  EXPECT_EQ(extract(2, Stage::kAddEntry, validated), (ErrorTriple{Stage::kAddEntry, 2, 14}));
}

// Decoded ahead on worker threads, each result is looked at only in its turn:
// the same lines and the same failure at the same entry as decoding on the
// spot, whatever the number of threads, also with a budget smaller than any
// entry (each is then decoded once its turn has come). What was decoded beyond
// the failure is freed.
TEST_F(Extraction, DecodingAheadFailsAtTheSameEntryAsDecodingOnTheSpot) {
  load();
  damageSecondFrame();
  std::vector<std::string> expected;
  for (const unsigned workers : {1u, 2u, 4u}) {
    for (const std::size_t budget : {std::size_t{0}, DecodeAhead::kDefaultBudget}) {
      FilesMap files;
      ASSERT_EQ(testing::failureOf(readManifest(bytes_.view(), files, unwatched)), std::nullopt);
      std::vector<FileEntry*> order(files.size());
      for (const auto& [key, entry] : files) order[entry->index] = entry.get();
      {
        DecodeAhead ahead(order, workers, unwatched, budget);
        EXPECT_EQ(testing::failureOf(extractEntry(ahead, *order[0])), std::nullopt);
        EXPECT_EQ(order[0]->content, std::vector<std::uint8_t>(4000, 'a'));
        EXPECT_EQ(testing::failureOf(extractEntry(ahead, *order[1])),
                  (ErrorTriple{Stage::kAddEntry, 1, 12}));
      }
      EXPECT_EQ(order[2]->content.capacity(), 0u) << workers << " threads, budget " << budget;
      expected.insert(expected.end(), {" - decompress", " -  - decompress ok", " - decompress",
                                       " -  - decompress error"});
    }
  }
  EXPECT_EQ(logged(), expected);
}

// An entry decoded into its file is checked in two steps around the making of
// the file, each failing with the code of extractEntry: its frame before, its
// content after, with the content's pieces counted as they come.
TEST_F(Extraction, AStreamedEntryIsCheckedBeforeAndAfterItsFileIsMade) {
  load();
  FileEntry& first = entry(0);
  std::vector<std::uint8_t> file(4000);
  std::size_t counted = 0;
  bool validated = false;
  EXPECT_EQ(testing::failureOf(checkStreamedEntry(bytes_.view(), first, Stage::kReplaceEntry,
                                                  validated, unwatched)),
            std::nullopt);
  EXPECT_TRUE(validated);
  EXPECT_EQ(testing::failureOf(decodeStreamedEntry(first, Stage::kReplaceEntry, file, unwatched,
                                                   [&](std::size_t bytes) { counted += bytes; })),
            std::nullopt);
  EXPECT_EQ(file, std::vector<std::uint8_t>(4000, 'a'));
  EXPECT_EQ(counted, 4000u);
  EXPECT_TRUE(first.content.empty());
  first.crc32c ^= 1;
  EXPECT_EQ(testing::failureOf(decodeStreamedEntry(first, Stage::kAddEntry, file, unwatched, {})),
            (ErrorTriple{Stage::kAddEntry, 0, 14}));
  damageSecondFrame();
  EXPECT_EQ(testing::failureOf(checkStreamedEntry(bytes_.view(), entry(1), Stage::kAddEntry,
                                                  validated, unwatched)),
            (ErrorTriple{Stage::kAddEntry, 1, 12}));
  EXPECT_THAT(logged(),
              ElementsAre(" - content crc32 not validated", " - - begin content crc32 validate",
                          " - - end content crc32 validate", " - decompress", " -  - decompress ok",
                          " -  - decompress error", " - decompress", " -  - decompress error"));
}

// Nor is it decoded ahead, or held: its turn only passes.
TEST_F(Extraction, DecodingAheadPassesAStreamedEntryBy) {
  load();
  damageSecondFrame();
  entry(1).size = kStreamedSize + 1;  // decoding it would fail
  std::vector<FileEntry*> order{&entry(0), &entry(1), &entry(2)};
  DecodeAhead ahead(order, 2, unwatched);
  EXPECT_EQ(testing::codeOf(ahead.take(entry(0))), EntryResult::kOk);
  EXPECT_EQ(testing::codeOf(ahead.take(entry(1))), EntryResult::kOk);
  EXPECT_EQ(entry(1).content.capacity(), 0u);
  EXPECT_EQ(testing::codeOf(ahead.take(entry(2))), EntryResult::kOk);
}

}  // namespace
}  // namespace aerolith::bundle
