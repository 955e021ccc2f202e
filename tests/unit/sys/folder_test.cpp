#include "sys/fs/folder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"
#include "sys/fs/directory_walk.hpp"

namespace aerolith::sys {
namespace {
namespace fs = std::filesystem;

Folder opened(const fs::path& path) {
  std::error_code error;
  Folder folder = Folder::open(path, error);
  EXPECT_TRUE(folder.isOpen()) << path << ": " << error.message();
  return folder;
}

ObjectKind kindOf(const Folder& folder, const fs::path& name) {
  std::error_code error;
  const ObjectKind kind = folder.kindOf(name, error);
  EXPECT_FALSE(error) << name << ": " << error.message();
  return kind;
}

// Relative paths with '/' and kinds, in walk order.
std::vector<std::pair<std::string, ObjectKind>> walked(const Folder& root) {
  std::vector<std::pair<std::string, ObjectKind>> entries;
  const Walk walk = walkTree(root);
  for (const WalkEntry& entry : walk.entries) {
    entries.emplace_back(walk.pathOf(entry).lexically_relative(root.path()).generic_string(),
                         entry.kind);
  }
  return entries;
}

TEST(Folder, KindsCreationAndRemovalOfPlainObjects) {
  testing::TempDir dir;
  fs::create_directories(dir / "folder" / "sub");
  testing::writeFile(dir / "folder" / "sub" / "file", "x");
  const Folder top = opened(dir.path());
  EXPECT_EQ(kindOf(top, "missing"), ObjectKind::kMissing);
  EXPECT_EQ(kindOf(top, "folder"), ObjectKind::kDirectory);

  std::error_code error;
  {
    // Closed before its folder goes: Windows removes a folder once no handle holds it.
    const Folder sub = top.openFolder("folder", error).openFolder("sub", error);
    ASSERT_TRUE(sub.isOpen());
    EXPECT_EQ(sub.path(), dir / "folder" / "sub");
    EXPECT_EQ(kindOf(sub, "file"), ObjectKind::kFile);
    EXPECT_FALSE(sub.openFolder("file", error).isOpen());
    EXPECT_TRUE(error);
  }
  EXPECT_FALSE(top.createFolder("folder", error).isOpen());  // something is there
  EXPECT_TRUE(top.createFolder("new", error).isOpen());

  EXPECT_FALSE(top.removeObject("missing", error));
  EXPECT_FALSE(error);
  EXPECT_FALSE(top.removeObject("folder", error));  // not empty
  EXPECT_TRUE(error);
  EXPECT_EQ(top.removeTree("folder", error), 3u);
  EXPECT_FALSE(error);
  EXPECT_EQ(top.removeTree("folder", error), 0u);
  EXPECT_FALSE(error);
  EXPECT_EQ(kindOf(top, "folder"), ObjectKind::kMissing);
}

TEST(Folder, FilesAreCreatedExclusivelyReadBackAndStamped) {
  testing::TempDir dir;
  const Folder top = opened(dir.path());
  std::error_code error;
  {
    OutputFile out = top.createFile("file", error);
    ASSERT_TRUE(out.isOpen());
    const std::uint8_t bytes[] = {'a', 'b', 'c'};
    EXPECT_TRUE(out.write(bytes, error));
    EXPECT_TRUE(out.close(error));
  }
  EXPECT_FALSE(top.createFile("file", error).isOpen());  // never over what is there
  EXPECT_TRUE(error);
  LastWriteTimeWriter stamp = top.openForTimeStamp("file", error);
  ASSERT_TRUE(stamp.isOpen());
  EXPECT_TRUE(stamp.set(0x01DB5309A3E23267, error));
  stamp.close();
  EXPECT_EQ(top.readStamp("file", error).lastWriteTime, 0x01DB5309A3E23267u);
  EXPECT_EQ(top.readStamp("file", error).size, 3u);

  InputFile in = top.openFile("file", error);
  ASSERT_TRUE(in.isOpen());
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(in.read(buffer, error), 3u);
  EXPECT_EQ(in.read(buffer, error), 0u);
  EXPECT_FALSE(error);
  EXPECT_EQ(std::string(buffer, buffer + 3), "abc");
}

TEST(Folder, WalkListsEachFolderBeforeItsContents) {
  testing::TempDir dir;
  fs::create_directories(dir / "a" / "b");
  testing::writeFile(dir / "a" / "b" / "f", "x");
  testing::writeFile(dir / "top", "x");
  const auto entries = walked(opened(dir.path()));
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
  std::error_code error;
  EXPECT_FALSE(Folder::open(dir / "top", error).isOpen());
  EXPECT_FALSE(Folder::open(dir / "missing", error).isOpen());
}

TEST(Folder, AReadOnlyEntryBecomesWritable) {
  testing::TempDir dir;
  testing::writeFile(dir / "file", "x");
  fs::permissions(dir / "file",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const Folder top = opened(dir.path());
  std::error_code error;
  top.setNormalAttributes("file", error);
  EXPECT_FALSE(error);
  EXPECT_NE(fs::status(dir / "file").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_TRUE(top.removeObject("file", error));
  top.setNormalAttributes("file", error);
  EXPECT_EQ(error.value(), 2);  // ENOENT, ERROR_FILE_NOT_FOUND
}

TEST(Folder, AStagedFileTakesItsNameOnlyWhenCommitted) {
  testing::TempDir dir;
  testing::writeFile(dir / "file", "old");
  const Folder top = opened(dir.path());
  std::error_code error;
  StagedFile staged = top.createStagedFile(3, error);
  ASSERT_TRUE(staged.isOpen()) << error.message();
  ASSERT_TRUE(staged.reserve({}, error)) << error.message();  // before any byte is written
  std::copy_n("new", 3, staged.bytes().begin());
  EXPECT_EQ(testing::readFile(dir / "file"), "old");
  EXPECT_TRUE(fs::exists(dir / staged.temporaryName()));
  EXPECT_TRUE(staged.commit("file", 0x01DB5309A3E23267, error)) << error.message();
  EXPECT_EQ(testing::readFile(dir / "file"), "new");
  EXPECT_EQ(top.readStamp("file", error).lastWriteTime, 0x01DB5309A3E23267u);

  StagedFile discarded = top.createStagedFile(1 << 20, error);
  ASSERT_TRUE(discarded.isOpen()) << error.message();
  discarded.discard();
  EXPECT_EQ(walked(top).size(), 1u);  // the committed file alone
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
    install_ = opened(dir_ / "install");
  }
  void expectOutsideIntact() {
    EXPECT_EQ(testing::readFile(dir_ / "outside" / "inner" / "kept"), "x");
    EXPECT_EQ(fs::status(dir_ / "outside").permissions() & fs::perms::owner_write,
              fs::perms::owner_write);
  }
  testing::TempDir dir_;
  Folder install_;
};

TEST_F(Links, AreListedButNeverEnteredOpenedReadOrStamped) {
  const auto entries = walked(install_);
  EXPECT_EQ(entries.size(), 4u);
  for (const auto& [path, kind] : entries) {
    EXPECT_EQ(kind, path == "sub" ? ObjectKind::kDirectory : ObjectKind::kLink) << path;
  }
  std::error_code error;
  const Folder sub = install_.openFolder("sub", error);
  EXPECT_FALSE(sub.openFolder("folder-link", error).isOpen());
  EXPECT_FALSE(install_.openFile("file-link", error).isOpen());
  EXPECT_FALSE(install_.openForTimeStamp("file-link", error).isOpen());
  EXPECT_FALSE(install_.createFile("dangling", error).isOpen());
  fs::permissions(dir_ / "outside", fs::perms::owner_write, fs::perm_options::remove);
  sub.setNormalAttributes("folder-link", error);
  EXPECT_FALSE(error);
  EXPECT_EQ(fs::status(dir_ / "outside").permissions() & fs::perms::owner_write, fs::perms::none);
  fs::permissions(dir_ / "outside", fs::perms::owner_write, fs::perm_options::add);
  expectOutsideIntact();
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

TEST_F(Links, AreRemovedAsLinks) {
  std::error_code error;
  EXPECT_TRUE(install_.removeObject("file-link", error));
  EXPECT_TRUE(install_.removeObject("dangling", error));
  EXPECT_EQ(install_.removeTree("sub", error), 2u);  // sub, folder-link
  EXPECT_FALSE(error);
  EXPECT_EQ(walked(install_).size(), 0u);
  expectOutsideIntact();
}

TEST_F(Links, AStagedFileReplacesALinkAsALink) {
  std::error_code error;
  StagedFile staged = install_.createStagedFile(1, error);
  ASSERT_TRUE(staged.isOpen());
  staged.bytes()[0] = 'y';
  EXPECT_TRUE(staged.commit("file-link", 0x01DB5309A3E23267, error));
  EXPECT_FALSE(fs::is_symlink(dir_ / "install" / "file-link"));
  EXPECT_EQ(testing::readFile(dir_ / "install" / "file-link"), "y");
  expectOutsideIntact();
}

TEST_F(Links, NothingIsCreatedBehindALinkThatReplacedAnOpenedFolder) {
  std::error_code error;
  const Folder sub = install_.openFolder("sub", error);
  fs::rename(dir_ / "install" / "sub", dir_ / "install" / "aside");
  fs::create_directory_symlink(dir_ / "outside", dir_ / "install" / "sub");
  // They go where the opened folder went.
  EXPECT_TRUE(sub.createFolder("made", error).isOpen());
  EXPECT_TRUE(sub.createFile("made.bin", error).isOpen());
  EXPECT_FALSE(fs::exists(dir_ / "outside" / "made"));
  EXPECT_FALSE(fs::exists(dir_ / "outside" / "made.bin"));
}
#endif

}  // namespace
}  // namespace aerolith::sys
