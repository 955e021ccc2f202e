#include "install/install_directory.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.hpp"

namespace aerolith::install {
namespace {

// Nothing watches a test's signs of life.
diag::Progress unwatched;

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::entryNames;
using ::testing::IsEmpty;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// The folder chosen, by its path; empty when none is usable.
fs::path chosenPath(const std::vector<fs::path>& roots, FolderLink link, diag::Progress& progress) {
  const base::Result<sys::Folder> folder = firstUsableInstallDirectory(roots, link, progress);
  return folder ? folder->path() : fs::path();
}

TEST(FirstUsableInstallDirectory, ExistingFolderIsTakenWithItsContent) {
  TempDir local;
  fs::create_directory(local / "Aerolith");
  writeFile(local / "Aerolith" / "Config.ini", "[user]");
  EXPECT_EQ(chosenPath({local.path()}, FolderLink::kRemoved, unwatched), local / "Aerolith");
  EXPECT_EQ(readFile(local / "Aerolith" / "Config.ini"), "[user]");
}

TEST(FirstUsableInstallDirectory, MissingFolderIsCreatedOneLevelOnly) {
  TempDir scratch;
  const fs::path missingRoot = scratch / "missing";
  const fs::path good = scratch / "good";
  fs::create_directory(good);
  EXPECT_EQ(chosenPath({missingRoot, good}, FolderLink::kRemoved, unwatched), good / "Aerolith");
  EXPECT_FALSE(fs::exists(missingRoot));
  EXPECT_TRUE(fs::is_directory(good / "Aerolith"));
  EXPECT_THAT(entryNames(good / "Aerolith"), IsEmpty());
}

TEST(FirstUsableInstallDirectory, NoUsableCandidateGivesAnEmptyPath) {
  TempDir scratch;
  EXPECT_EQ(chosenPath({}, FolderLink::kRemoved, unwatched), fs::path());
  EXPECT_EQ(chosenPath({scratch / "a", scratch / "b"}, FolderLink::kRemoved, unwatched),
            fs::path());
  EXPECT_THAT(entryNames(scratch.path()), IsEmpty());
}

TEST(FirstUsableInstallDirectory, PlainFileIsDeletedAndTheNextStartCreatesTheFolder) {
  TempDir local;
  TempDir fallback;
  writeFile(local / "Aerolith", "a file in the way");

  EXPECT_EQ(chosenPath({local.path(), fallback.path()}, FolderLink::kRemoved, unwatched),
            fallback / "Aerolith");
  EXPECT_THAT(entryNames(local.path()), IsEmpty());

  EXPECT_EQ(chosenPath({local.path(), fallback.path()}, FolderLink::kRemoved, unwatched),
            local / "Aerolith");
  EXPECT_TRUE(fs::is_directory(local / "Aerolith"));
}

TEST(FirstUsableInstallDirectory, SameRootListedTwiceIsTriedAgainFromTheStart) {
  // The first try deletes the file in the way and fails; the second, with every
  // step repeated, creates the folder and passes.
  TempDir local;
  writeFile(local / "Aerolith", "a file in the way");
  EXPECT_EQ(chosenPath({local.path(), local.path()}, FolderLink::kRemoved, unwatched),
            local / "Aerolith");
  EXPECT_THAT(entryNames(local.path()), ElementsAre("Aerolith"));
  EXPECT_TRUE(fs::is_directory(local / "Aerolith"));
}

#ifndef _WIN32
// Wine cannot make Windows links; the scenarios check what it does with Unix ones.
TEST(FirstUsableInstallDirectory, LinkLeadingToNoFolderIsRemovedEvenWhereLinksAreFollowed) {
  for (const bool toFile : {true, false}) {
    TempDir local;
    if (toFile) writeFile(local / "file", "a file");
    fs::create_symlink(local / "file", local / "Aerolith");
    EXPECT_EQ(chosenPath({local.path()}, FolderLink::kFollowed, unwatched), local / "Aerolith");
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(local / "Aerolith")));
    EXPECT_EQ(fs::exists(local / "file") ? readFile(local / "file") : "missing",
              toFile ? "a file" : "missing");
  }
}
#endif

}  // namespace
}  // namespace aerolith::install
