#include "install/file_entry_writer.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "bundle/file_entry.hpp"
#include "support/results.hpp"
#include "support/temp_dir.hpp"
#include "support/trace_capture.hpp"
#include "sys/file/file_time.hpp"
#include "sys/fs/path.hpp"
#include "text/utf.hpp"

namespace aerolith::install {
namespace {

// Nothing watches a test's signs of life.
diag::Progress unwatched;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr std::uint64_t kFileTime = 0x01DB5309A3E23267;  // 100-ns digits included

class Writer : public ::testing::Test {
 protected:
  Writer() {
    fs::create_directory(install_);
    folder_ = testing::valueOf(sys::Folder::open(install_));
  }

  static bundle::FileEntry entry(std::wstring directory, std::wstring name, std::string content) {
    bundle::FileEntry entry;
    entry.directory = std::move(directory);
    entry.name = std::move(name);
    entry.content.assign(content.begin(), content.end());
    entry.size = static_cast<std::int32_t>(content.size());
    entry.fileTime = kFileTime;
    return entry;
  }

  // One file, as the first of a pass: no folder held from before.
  std::optional<WriteFailure> write(const bundle::FileEntry& file) const {
    LastFolder none;
    return testing::failureOf(writeEntry(file, folder_, none, unwatched));
  }

  std::string host(const fs::path& path) const { return text::toUtf8(sys::wideFromPath(path)); }

  void expectWritten(const fs::path& file, const std::string& content) const {
    EXPECT_EQ(testing::readFile(file), content);
    EXPECT_EQ(testing::valueOf(sys::readFileStamp(file)).lastWriteTime, kFileTime);
  }

  static std::vector<std::string> stampLines() {
    return {"FileEntry:  - update file time begin", "FileEntry:  - update file time - create file",
            "FileEntry:  - update file time - set time",
            "FileEntry:  - update file time - close file", "FileEntry:  - update file time end"};
  }

  testing::TraceCapture trace_;
  testing::TempDir dir_;
  const fs::path install_ = dir_ / "Aerolith";
  sys::Folder folder_;
};

TEST_F(Writer, TopLevelFileLandsInTheInstallDirectoryStampedToTheTick) {
  const auto file = entry(L"", L"Aerolith.exe", "MZ main");
  EXPECT_EQ(write(file), std::nullopt);
  expectWritten(install_ / "Aerolith.exe", "MZ main");
  std::vector<std::string> expected = {
      "FileEntry:  - create directory '' (" + host(install_ / "") + ")",
      "FileEntry:  - exists and is directory, skip create", "FileEntry:  - write file content",
      "FileEntry:  -  - file remove failed",
      "FileEntry:  - write to '' 'Aerolith.exe' (" + host(install_ / "Aerolith.exe") + ")"};
  for (const std::string& line : stampLines()) expected.push_back(line);
  expected.push_back("FileEntry:  - file write ok");
  EXPECT_THAT(trace_.records(), ElementsAreArray(expected));
}

TEST_F(Writer, MissingFolderChainIsCreatedAtOnce) {
  const auto file = entry(L"Modules\\Sim\\x64", L"module.dll", std::string(70'000, 'm'));
  EXPECT_EQ(write(file), std::nullopt);
  expectWritten(install_ / "Modules" / "Sim" / "x64" / "module.dll", std::string(70'000, 'm'));
  const auto records = trace_.records();
  ASSERT_GE(records.size(), 3u);
  EXPECT_THAT(
      std::vector(records.begin(), records.begin() + 3),
      ElementsAre("FileEntry:  - create directory 'Modules\\Sim\\x64' (" +
                      host(install_ / "Modules" / "Sim" / "x64") + ")",
                  "FileEntry:  - not exists, create", "FileEntry:  -  - create result: ok"));
}

TEST_F(Writer, AFileWhereTheFolderMustGoIsReplacedByTheFolder) {
  testing::writeFile(install_ / "Modules", "a file in the way");
  EXPECT_EQ(write(entry(L"Modules", L"a.dll", "a")), std::nullopt);
  expectWritten(install_ / "Modules" / "a.dll", "a");
  EXPECT_THAT(trace_.records(), ::testing::IsSupersetOf(
                                    {"FileEntry:  - exists but is not directory, remove and create",
                                     "FileEntry:  -  - create result: ok"}));
}

TEST_F(Writer, AFolderWhereTheFileMustGoIsRemovedWithEverythingInIt) {
  fs::create_directories(install_ / "a.dll" / "deeper");
  testing::writeFile(install_ / "a.dll" / "deeper" / "x", "x");
  EXPECT_EQ(write(entry(L"", L"a.dll", "a")), std::nullopt);
  expectWritten(install_ / "a.dll", "a");
  EXPECT_THAT(trace_.records(), ::testing::Contains("FileEntry:  -  - file removed"));
}

TEST_F(Writer, EmptyEntryGivesAnEmptyStampedFile) {
  EXPECT_EQ(write(entry(L"Data", L"empty.dat", "")), std::nullopt);
  expectWritten(install_ / "Data" / "empty.dat", "");
}

// The folder of the previous file is held for the next file in it, and let go
// before another entry's: held, it would stay in the way of a file there.
TEST_F(Writer, TheFolderOfThePreviousFileIsHeldForTheNextFileInItOnly) {
  LastFolder last;
  ASSERT_TRUE(writeEntry(entry(L"Modules\\Sim", L"a.dll", "a"), folder_, last, unwatched));
  ASSERT_TRUE(writeEntry(entry(L"Modules\\Sim", L"b.dll", "b"), folder_, last, unwatched));
  EXPECT_EQ(last.folder.path(), install_ / "Modules" / "Sim");
  expectWritten(install_ / "Modules" / "Sim" / "b.dll", "b");
  EXPECT_TRUE(writeEntry(entry(L"Modules", L"Sim", "a file now"), folder_, last, unwatched));
  expectWritten(install_ / "Modules" / "Sim", "a file now");
}

TEST_F(Writer, AFileThatCannotBeOpenedEndsInTheWriteDialog) {
  // No file system holds a name of 300 characters.
  const auto file = entry(L"", std::wstring(300, L'n'), "x");
  EXPECT_EQ(write(file), WriteFailure{install_ / std::wstring(300, L'n')});
  EXPECT_EQ(trace_.records().back(), "FileEntry:  -  - open failed - break");
}

TEST_F(Writer, TimeOfAFileThatCannotBeOpenedStaysUnsetSilently) {
  updateFileTime(folder_, "missing", kFileTime);
  EXPECT_THAT(trace_.records(), ElementsAre("FileEntry:  - update file time begin",
                                            "FileEntry:  - update file time - create file",
                                            "FileEntry:  - update file time end"));
}

#ifndef _WIN32
// Wine cannot make Windows links; the scenarios check what it does with Unix ones.
TEST_F(Writer, LinksOnTheWayAreReplacedAndNothingOutsideIsWritten) {
  fs::create_directory(dir_ / "outside");
  testing::writeFile(dir_ / "outside" / "a.dll", "theirs");
  fs::create_directory_symlink(dir_ / "outside", install_ / "Modules");
  fs::create_symlink(dir_ / "outside" / "a.dll", install_ / "b.dll");

  EXPECT_EQ(write(entry(L"Modules", L"a.dll", "ours")), std::nullopt);
  EXPECT_EQ(write(entry(L"", L"b.dll", "ours too")), std::nullopt);

  EXPECT_EQ(fs::symlink_status(install_ / "Modules").type(), fs::file_type::directory);
  EXPECT_EQ(fs::symlink_status(install_ / "b.dll").type(), fs::file_type::regular);
  expectWritten(install_ / "Modules" / "a.dll", "ours");
  expectWritten(install_ / "b.dll", "ours too");
  EXPECT_EQ(testing::readFile(dir_ / "outside" / "a.dll"), "theirs");
  EXPECT_EQ(testing::entryNames(dir_ / "outside"), std::vector<std::string>{"a.dll"});
}
#endif

}  // namespace
}  // namespace aerolith::install
