#include "sys/file_objects.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.hpp"
#include "sys/directory_walk.hpp"
#include "sys/file_attributes.hpp"

namespace aerolith::sys {
namespace {
namespace fs = std::filesystem;

ObjectKind kindOf(const fs::path& path) {
  std::error_code error;
  const ObjectKind kind = objectKind(path, error);
  EXPECT_FALSE(error) << path << ": " << error.message();
  return kind;
}

// Relative paths with '/' and kinds, in walk order.
std::vector<std::pair<std::string, ObjectKind>> walked(const fs::path& root) {
  std::vector<std::pair<std::string, ObjectKind>> entries;
  for (const WalkEntry& entry : listTree(root)) {
    entries.emplace_back(entry.path.lexically_relative(root).generic_string(), entry.kind);
  }
  return entries;
}

TEST(FileObjects, KindsAndRemovalOfPlainObjects) {
  testing::TempDir dir;
  fs::create_directories(dir / "folder" / "sub");
  testing::writeFile(dir / "folder" / "sub" / "file", "x");
  EXPECT_EQ(kindOf(dir / "missing"), ObjectKind::kMissing);
  EXPECT_EQ(kindOf(dir / "missing" / "deeper"), ObjectKind::kMissing);
  EXPECT_EQ(kindOf(dir / "folder"), ObjectKind::kDirectory);
  EXPECT_EQ(kindOf(dir / "folder" / "sub" / "file"), ObjectKind::kFile);

  std::error_code error;
  EXPECT_FALSE(removeObject(dir / "missing", error));
  EXPECT_FALSE(error);
  EXPECT_FALSE(removeObject(dir / "folder", error));  // not empty
  EXPECT_TRUE(error);
  EXPECT_TRUE(isDirectoryFollowingLinks(dir / "folder", error));
  EXPECT_FALSE(isDirectoryFollowingLinks(dir / "missing", error));
  EXPECT_FALSE(error);

  EXPECT_EQ(removeTree(dir / "folder", error), 3u);
  EXPECT_FALSE(error);
  EXPECT_EQ(removeTree(dir / "folder", error), 0u);
  EXPECT_FALSE(error);
  EXPECT_EQ(kindOf(dir / "folder"), ObjectKind::kMissing);
}

TEST(DirectoryWalk, ListsEachFolderBeforeItsContentsAndAMissingRootAsNothing) {
  testing::TempDir dir;
  fs::create_directories(dir / "a" / "b");
  testing::writeFile(dir / "a" / "b" / "f", "x");
  testing::writeFile(dir / "top", "x");
  const auto entries = walked(dir.path());
  ASSERT_EQ(entries.size(), 4u);
  const auto position = [&](const std::string& path) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].first == path) return i;
    }
    ADD_FAILURE() << path << " not listed";
    return entries.size();
  };
  EXPECT_LT(position("a"), position("a/b"));
  EXPECT_EQ(position("a/b/f"), position("a/b") + 1);
  EXPECT_EQ(entries[position("a/b")].second, ObjectKind::kDirectory);
  EXPECT_EQ(entries[position("top")].second, ObjectKind::kFile);
  EXPECT_TRUE(listTree(dir / "missing").empty());
  EXPECT_TRUE(listTree(dir / "top").empty());
}

TEST(FileAttributes, AReadOnlyEntryBecomesWritable) {
  testing::TempDir dir;
  testing::writeFile(dir / "file", "x");
  fs::permissions(dir / "file",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::error_code error;
  setNormalAttributes(dir / "file", error);
  EXPECT_FALSE(error);
  EXPECT_NE(fs::status(dir / "file").permissions() & fs::perms::owner_write, fs::perms::none);
  setNormalAttributes(dir / "missing", error);
  EXPECT_EQ(error.value(), 2);  // ENOENT, ERROR_FILE_NOT_FOUND
}

#ifndef _WIN32
// Wine cannot make Windows links; the scenarios check what it does with Unix ones.
class Links : public ::testing::Test {
 protected:
  Links() {
    fs::create_directories(dir_ / "outside" / "inner");
    testing::writeFile(dir_ / "outside" / "inner" / "kept", "x");
    fs::create_directories(dir_ / "install" / "sub");
    fs::create_directory_symlink(dir_ / "outside", dir_ / "install" / "sub" / "folder-link");
    fs::create_symlink(dir_ / "outside" / "inner" / "kept", dir_ / "install" / "file-link");
    fs::create_symlink(dir_ / "nowhere", dir_ / "install" / "dangling");
  }
  void expectOutsideIntact() {
    EXPECT_EQ(testing::readFile(dir_ / "outside" / "inner" / "kept"), "x");
  }
  testing::TempDir dir_;
};

TEST_F(Links, AreListedButNotEntered) {
  const auto entries = walked(dir_ / "install");
  EXPECT_EQ(entries.size(), 4u);
  for (const auto& [path, kind] : entries) {
    EXPECT_EQ(kind, path == "sub" ? ObjectKind::kDirectory : ObjectKind::kLink) << path;
  }
  std::error_code error;
  EXPECT_TRUE(isDirectoryFollowingLinks(dir_ / "install" / "sub" / "folder-link", error));
  EXPECT_FALSE(isDirectoryFollowingLinks(dir_ / "install" / "dangling", error));
  EXPECT_FALSE(error);
}

TEST_F(Links, AreRemovedAsLinks) {
  std::error_code error;
  EXPECT_TRUE(removeObject(dir_ / "install" / "file-link", error));
  EXPECT_TRUE(removeObject(dir_ / "install" / "dangling", error));
  EXPECT_EQ(removeTree(dir_ / "install", error), 3u);  // install, sub, folder-link
  EXPECT_FALSE(error);
  expectOutsideIntact();
}

TEST_F(Links, KeepTheirTargetsAttributes) {
  fs::permissions(dir_ / "outside", fs::perms::owner_write, fs::perm_options::remove);
  std::error_code error;
  setNormalAttributes(dir_ / "install" / "sub" / "folder-link", error);
  EXPECT_FALSE(error);
  EXPECT_EQ(fs::status(dir_ / "outside").permissions() & fs::perms::owner_write, fs::perms::none);
  fs::permissions(dir_ / "outside", fs::perms::owner_write, fs::perm_options::add);
}
#endif

}  // namespace
}  // namespace aerolith::sys
