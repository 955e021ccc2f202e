#include "install/access_probe.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace aerolith::install {
namespace {

// Nothing watches a test's signs of life.
diag::Progress unwatched;

namespace fs = std::filesystem;
using testing::entryNames;
using ::testing::IsEmpty;
using testing::TempDir;
using ::testing::UnorderedElementsAreArray;
using testing::writeFile;

TEST(AccessProbe, EmptyWritableDirectoryPassesAndIsEmptyAgain) {
  TempDir dir;
  EXPECT_TRUE(probeDirectoryAccess(dir.path(), unwatched).ok());
  EXPECT_THAT(entryNames(dir.path()), IsEmpty());
}

TEST(AccessProbe, LeftoversOfInterruptedProbesAreRemovedWithTheirContent) {
  TempDir dir;
  writeFile(dir / "test-access-12345.file", "half written");
  fs::create_directories(dir / "test-access-4294967295.folder" / "nested");
  writeFile(dir / "test-access-4294967295.folder" / "nested" / "a.txt", "x");
  writeFile(dir / "Config.ini", "[user]");

  EXPECT_TRUE(probeDirectoryAccess(dir.path(), unwatched).ok());
  EXPECT_THAT(entryNames(dir.path()), UnorderedElementsAreArray({"Config.ini"}));
}

TEST(AccessProbe, OnlyExactNamesOfTheRightKindCountAsLeftovers) {
  TempDir dir;
  writeFile(dir / "test-access-.file", "");  // prefix directly followed by the suffix
  fs::create_directory(dir / "test-access-.folder");
  // Numbered apart: on Windows names that differ only in case are one file.
  const std::vector<std::string> kept = {
      "Test-access-1.file",   "test-access-2.FILE", "TEST-ACCESS-3.file", "test-access-4.file.bak",
      "xtest-access-5.file",  "test-access-",       "test-access.file",   "test-access-6.Folder",
      "test-access-7.folder",  // a plain file: only folders may end with ".folder"
  };
  for (const auto& name : kept) writeFile(dir / name, "keep");
  const std::vector<std::string> keptFolders = {
      "test-access-8.file",  // a folder: only files may end with ".file"
      "Test-access-9.folder",
      "test-access-10.FOLDER",
  };
  for (const auto& name : keptFolders) fs::create_directory(dir / name);

  EXPECT_TRUE(probeDirectoryAccess(dir.path(), unwatched).ok());
  std::vector<std::string> expected = kept;
  expected.insert(expected.end(), keptFolders.begin(), keptFolders.end());
  EXPECT_THAT(entryNames(dir.path()), UnorderedElementsAreArray(expected));
}

TEST(AccessProbe, PathNamingAPlainFileDeletesItAndFails) {
  TempDir dir;
  writeFile(dir / "Aerolith", "not a folder");
  EXPECT_FALSE(probeDirectoryAccess(dir / "Aerolith", unwatched).ok());
  EXPECT_FALSE(fs::exists(dir / "Aerolith"));
  EXPECT_THAT(entryNames(dir.path()), IsEmpty());
}

TEST(AccessProbe, MissingPathFailsWithoutCreatingAnything) {
  TempDir dir;
  EXPECT_FALSE(probeDirectoryAccess(dir / "missing", unwatched).ok());
  EXPECT_FALSE(probeDirectoryAccess(dir / "missing" / "deeper", unwatched).ok());
  EXPECT_THAT(entryNames(dir.path()), IsEmpty());
}

}  // namespace
}  // namespace aerolith::install
