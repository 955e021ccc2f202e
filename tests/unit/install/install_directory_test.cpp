#include "install/install_directory.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.hpp"

namespace aerolith::install {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::entryNames;
using ::testing::IsEmpty;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(FirstUsableInstallDirectory, ExistingFolderIsTakenWithItsContent) {
  TempDir local;
  fs::create_directory(local / "Aerolith");
  writeFile(local / "Aerolith" / "Config.ini", "[user]");
  EXPECT_EQ(firstUsableInstallDirectory({local.path()}, FolderLink::kRemoved).path(),
            local / "Aerolith");
  EXPECT_EQ(readFile(local / "Aerolith" / "Config.ini"), "[user]");
}

TEST(FirstUsableInstallDirectory, MissingFolderIsCreatedOneLevelOnly) {
  TempDir scratch;
  const fs::path missingRoot = scratch / "missing";
  const fs::path good = scratch / "good";
  fs::create_directory(good);
  EXPECT_EQ(firstUsableInstallDirectory({missingRoot, good}, FolderLink::kRemoved).path(),
            good / "Aerolith");
  EXPECT_FALSE(fs::exists(missingRoot));
  EXPECT_TRUE(fs::is_directory(good / "Aerolith"));
  EXPECT_THAT(entryNames(good / "Aerolith"), IsEmpty());
}

TEST(FirstUsableInstallDirectory, NoUsableCandidateGivesAnEmptyPath) {
  TempDir scratch;
  EXPECT_EQ(firstUsableInstallDirectory({}, FolderLink::kRemoved).path(), fs::path());
  EXPECT_EQ(
      firstUsableInstallDirectory({scratch / "a", scratch / "b"}, FolderLink::kRemoved).path(),
      fs::path());
  EXPECT_THAT(entryNames(scratch.path()), IsEmpty());
}

TEST(FirstUsableInstallDirectory, PlainFileIsDeletedAndTheNextStartCreatesTheFolder) {
  TempDir local;
  TempDir fallback;
  writeFile(local / "Aerolith", "a file in the way");

  EXPECT_EQ(
      firstUsableInstallDirectory({local.path(), fallback.path()}, FolderLink::kRemoved).path(),
      fallback / "Aerolith");
  EXPECT_THAT(entryNames(local.path()), IsEmpty());

  EXPECT_EQ(
      firstUsableInstallDirectory({local.path(), fallback.path()}, FolderLink::kRemoved).path(),
      local / "Aerolith");
  EXPECT_TRUE(fs::is_directory(local / "Aerolith"));
}

TEST(FirstUsableInstallDirectory, SameRootListedTwiceIsTriedAgainFromTheStart) {
  // The first try deletes the file in the way and fails; the second, with every
  // step repeated, creates the folder and passes.
  TempDir local;
  writeFile(local / "Aerolith", "a file in the way");
  EXPECT_EQ(firstUsableInstallDirectory({local.path(), local.path()}, FolderLink::kRemoved).path(),
            local / "Aerolith");
  EXPECT_THAT(entryNames(local.path()), ElementsAre("Aerolith"));
  EXPECT_TRUE(fs::is_directory(local / "Aerolith"));
}

#ifndef _WIN32
// Wine cannot make Windows links; the scenarios check what it does with Unix ones.
TEST(FirstUsableInstallDirectory, LinkAsTheFolderIsFollowedOnlyToAFolderAndOnlyWhenAllowed) {
  enum Target { kFolder, kFile, kNothing };
  const struct {
    Target target;
    FolderLink link;
  } cases[] = {{kFolder, FolderLink::kFollowed},
               {kFolder, FolderLink::kRemoved},
               {kFile, FolderLink::kFollowed},
               {kNothing, FolderLink::kFollowed}};
  for (const auto& [target, link] : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "target " << target << ", link " << static_cast<int>(link));
    TempDir local;
    TempDir elsewhere;
    const fs::path moved = elsewhere / "moved";
    if (target == kFolder) {
      fs::create_directory(moved);
      writeFile(moved / "Config.ini", "[user]");
    }
    if (target == kFile) writeFile(moved, "a file");
    fs::create_symlink(moved, local / "Aerolith");

    const sys::Folder folder = firstUsableInstallDirectory({local.path()}, link);
    EXPECT_EQ(folder.path(), local / "Aerolith");
    const bool followed = target == kFolder && link == FolderLink::kFollowed;
    EXPECT_EQ(fs::is_symlink(local / "Aerolith"), followed);
    if (followed) {
      std::error_code error;
      EXPECT_EQ(folder.finalPath(error), fs::canonical(moved));
      EXPECT_THAT(entryNames(moved), ElementsAre("Config.ini"));  // no probe leftovers
    } else {
      EXPECT_THAT(entryNames(local / "Aerolith"), IsEmpty());
    }
    const fs::path kept = target == kFolder ? moved / "Config.ini" : moved;
    if (target != kNothing) {
      EXPECT_EQ(readFile(kept), target == kFolder ? "[user]" : "a file");
    }
  }
}
#endif

}  // namespace
}  // namespace aerolith::install
