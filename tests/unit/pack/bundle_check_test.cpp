#include "pack/bundle/bundle_check.hpp"

#include <gtest/gtest.h>

#include <set>

#include "base/byte_order.hpp"
#include "bundle/manifest_writer.hpp"
#include "crc32c/crc32c.hpp"
#include "pack/base/failure.hpp"
#include "pack/bundle/frames.hpp"
#include "pack/explain/error_explanation.hpp"
#include "pack/explain/launcher_errors.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct File {
  std::wstring directory;
  std::wstring name;
  std::string content;
};

// A bundle of real frames, entries in the order given.
BundleBytes makeBundle(const std::vector<File>& files) {
  FrameCompressor compressor(1);
  bundle::ManifestWriter manifest;
  Bytes payload(4, 0);
  for (const File& file : files) {
    const Bytes content(file.content.begin(), file.content.end());
    const Bytes frame = compressor.compress(content);
    manifest.add({file.directory, file.name, static_cast<std::uint32_t>(content.size()),
                  crc32c::value(content), static_cast<std::uint32_t>(frame.size()),
                  crc32c::value(frame), static_cast<std::uint32_t>(payload.size() - 4), 7});
    payload.insert(payload.end(), frame.begin(), frame.end());
  }
  base::storeLe32(payload.data(), crc32c::value(std::span(payload).subspan(4)));
  return {std::move(manifest).finish(), payload};
}

std::wstring refusalOf(BundleBytes bytes) {
  try {
    LoadedBundle bundle(std::move(bytes));
  } catch (const Failure& failure) {
    return failure.message();
  }
  return L"(no failure)";
}

std::wstring problemsOf(BundleBytes bytes) {
  std::wstring all;
  for (const std::wstring& problem : bundleProblems(LoadedBundle(std::move(bytes)))) {
    all += problem + L"\n";
  }
  return all;
}

TEST(BundleCheck, RefusesAsTheLauncherWouldNamingTheEntry) {
  EXPECT_EQ(refusalOf(makeBundle({{L"", L"a.txt", "a"}, {L"", L"..\\evil.txt", "x"}})),
            L"the launcher would refuse this bundle: 5.1.15: entry 1 '..\\evil.txt': its path "
            L"would leave the install folder");
  BundleBytes bytes = makeBundle({{L"", L"a.txt", "a"}});
  base::storeLe32(bytes.manifest.data() + 4, 2);  // one entry more than present
  base::storeLe32(bytes.manifest.data(), crc32c::value(std::span(bytes.manifest).subspan(4)));
  EXPECT_EQ(refusalOf(bytes),
            L"the launcher would refuse this bundle: 5.1.1: entry 1: its directory length runs "
            L"past the manifest's end or is 2^31 or more");
  bytes.manifest[4] ^= 1;
  EXPECT_NE(refusalOf(bytes).find(L"would refuse this bundle: 2."), std::wstring::npos);
  EXPECT_EQ(refusalOf({bytes.manifest, {}}),
            L"the launcher would refuse this bundle: 1.14.0: the payload is empty or 2 GiB or "
            L"larger");
}

TEST(BundleCheck, NamesEveryDamagedEntryAndKeepsChecking) {
  BundleBytes bytes = makeBundle({{L"", L"f0", std::string(500, 'a')},
                                  {L"d", L"f1", std::string(500, 'b')},
                                  {L"d", L"f2", std::string(500, 'c')}});
  const LoadedBundle intact(BundleBytes{bytes});
  EXPECT_TRUE(bundleProblems(intact).empty());
  EXPECT_EQ(extractContent(intact.entries()[2]), Bytes(500, 'c'));
  bytes.payload[static_cast<std::size_t>(intact.entries()[1].dataOffset) + 3] ^= 0x10;
  bytes.payload.back() ^= 0x10;
  const std::wstring problems = problemsOf(bytes);
  EXPECT_NE(problems.find(L"refuse this bundle: 4."), std::wstring::npos) << text::toUtf8(problems);
  EXPECT_NE(problems.find(L"refuse this bundle: 7.1.12: entry 1 'd\\f1': adding the file, its "
                          L"compressed bytes do not match their CRC-32C\n"),
            std::wstring::npos)
      << text::toUtf8(problems);
  EXPECT_NE(problems.find(L"7.2.12: entry 2 'd\\f2'"), std::wstring::npos);
  EXPECT_EQ(problems.find(L"entry 0"), std::wstring::npos);
}

TEST(BundleCheck, DuplicatePathsAndTheProducersRules) {
  const std::vector<File> files = {{L"", L"Aerolith.exe", "first"},
                                   {L"d", L"x.txt", "x"},
                                   {L"", L"Aerolith.exe", "second"},
                                   {L"d/", L"x.txt", "x"},
                                   {L"Modules", L"config.ini", "c"},
                                   {L"", L"HIDAPI.x86.dll", "h"},
                                   {L"", L"\u00E9.txt", "e"},
                                   {L"", L"\u00C9.txt", "E"},
                                   {L"", L"a<b", "w"}};
  const LoadedBundle bundle(makeBundle(files));
  EXPECT_EQ(firstOfEachPath(bundle.entries()),
            (std::vector<std::size_t>{0, 1, 0, 1, 4, 5, 6, 7, 8}));
  const std::wstring problems = problemsOf(makeBundle(files));
  for (const std::wstring_view expected :
       {L"entry 2 'Aerolith.exe': entry 0 'Aerolith.exe' has the same path; a launcher installs "
        L"only the first\n",
        L"entry 3 'd/x.txt': entry 1 'd\\x.txt' has the same path",
        L"entry 4 'Modules\\config.ini': 'Config.ini' is where the user's settings live",
        L"entry 5 'HIDAPI.x86.dll': a launcher removes 'hidapi.x86.dll'",
        L"'\u00C9.txt', '\u00E9.txt' differ only in letter case",
        L"entry 8 'a<b': the name holds '<'"}) {
    EXPECT_NE(problems.find(expected), std::wstring::npos) << text::toUtf8(problems);
  }
  EXPECT_EQ(std::count(problems.begin(), problems.end(), L'\n'), 6) << text::toUtf8(problems);
}

// Every triple a launcher can show: the resource lookups as the launcher's own
// check reports them, each parse and extraction result at its stages, and the
// stages whose details are values.
std::vector<bundle::ErrorTriple> everyTripleALauncherShows() {
  using R = bundle::EntryResult;
  using S = bundle::Stage;
  std::vector<bundle::ErrorTriple> triples = {{S::kManifestCrc, 0xFFFFFFFF, 1},
                                              {S::kManifestCrc, 0, 0},
                                              {S::kEntryCount, 0, 0},
                                              {S::kEntryCount, -2147483647 - 1, 0},
                                              {S::kPayloadCrc, 1, 0xDEADBEEF}};
  for (const auto kind : {bundle::ResourceKind::kManifest, bundle::ResourceKind::kPayload}) {
    for (const auto failure : {sys::ResourceFailure::kNotFound, sys::ResourceFailure::kNotLoaded,
                               sys::ResourceFailure::kNotLocked, sys::ResourceFailure::kEmpty}) {
      triples.push_back(bundle::checkResource(base::fail(failure), kind).error());
    }
  }
  for (const R parse :
       {R::kBadDirectoryLength, R::kDirectoryPastEnd, R::kBadNameLength, R::kNamePastEnd,
        R::kBadSize, R::kContentCrcPastEnd, R::kBadCompressedSize, R::kCompressedCrcPastEnd,
        R::kBadOffset, R::kEmptyName, R::kFramePastPayload, R::kUnsafePath, R::kFileTimePastEnd}) {
    triples.push_back({S::kEntryParse, 12, bundle::shownCode(parse)});
  }
  for (const R extraction : {R::kCompressedCrcMismatch, R::kSizeMismatch, R::kContentCrcMismatch}) {
    triples.push_back({S::kReplaceEntry, 0, bundle::shownCode(extraction)});
    triples.push_back({S::kAddEntry, 54, bundle::shownCode(extraction)});
  }
  return triples;
}

TEST(LauncherErrors, EveryCodeALauncherShowsHasOneMeaningAndAnExplanation) {
  std::set<std::pair<bundle::Stage, std::int32_t>> seen;
  for (const LauncherError& row : launcherErrors()) {
    EXPECT_TRUE(seen.insert({row.stage, row.code}).second)
        << static_cast<int>(row.stage) << row.code;
  }
  std::set<std::wstring> whatFailed;
  for (const bundle::ErrorTriple& triple : everyTripleALauncherShows()) {
    const auto explanation = explain(triple);
    ASSERT_TRUE(explanation) << text::toUtf8(triple.text());
    EXPECT_TRUE(whatFailed.insert(explanation->whatFailed).second) << text::toUtf8(triple.text());
    EXPECT_EQ(parseErrorCode(L"Error code: " + triple.text()), triple);
  }
  EXPECT_EQ(whatFailed.size(), seen.size() + 2);  // two more of stages 2 and 3
  // A check sum that fails means the file changed; one that holds over a
  // wrong field means the release was made so.
  EXPECT_NE(explain({bundle::Stage::kAddEntry, 3, 12})->cause.find(L"changed after it was made"),
            std::wstring::npos);
  EXPECT_NE(explain({bundle::Stage::kReplaceEntry, 3, 12})->cause.find(L"release itself"),
            std::wstring::npos);
  EXPECT_NE(explain({bundle::Stage::kResources, 11, 0})->cause.find(L"carries no bundle"),
            std::wstring::npos);
}

TEST(LauncherErrors, CodesNoLauncherShowsAreNotExplained) {
  using S = bundle::Stage;
  for (const bundle::ErrorTriple triple : {bundle::ErrorTriple{S::kResources, 5, 0},
                                           {S::kResources, 1, 7},
                                           {S::kEntryCount, 1, 0},
                                           {S::kEntryCount, -1, 3},
                                           {S::kEntryParse, -1, 3},
                                           {S::kEntryParse, 3, 12},
                                           {S::kEntryParse, 3, 16},
                                           {S::kReplaceEntry, 3, 1},
                                           {S::kAddEntry, 3, 15}}) {
    EXPECT_FALSE(explain(triple)) << text::toUtf8(triple.text());
  }
  EXPECT_EQ(meaningOf({bundle::Stage::kEntryParse, 3, 16}), L"no launcher shows this code");
  EXPECT_EQ(parseErrorCode(L"  Error code: 4.1.3735928559\r\n"),
            (bundle::ErrorTriple{S::kPayloadCrc, 1, 3735928559}));
  EXPECT_EQ(parseErrorCode(L"3.-5.0"), (bundle::ErrorTriple{S::kEntryCount, -5, 0}));
  for (const std::wstring_view text : {L"", L"5.12", L"5.12.15.1", L"5.x.15", L"8.1.1", L"0.1.1",
                                       L"5.2147483648.1", L"2.-1.5", L"2.4294967296.0"}) {
    EXPECT_FALSE(parseErrorCode(text)) << text::toUtf8(text);
  }
}

}  // namespace
}  // namespace aerolith::pack
