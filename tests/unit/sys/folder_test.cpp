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
  base::Result<Folder> folder = Folder::open(path);
  EXPECT_TRUE(folder) << path << ": " << base::errorOf(folder).message();
  return folder ? std::move(*folder) : Folder();
}

ObjectKind kindOf(const Folder& folder, const fs::path& name) {
  const base::Result<ObjectKind> kind = folder.kindOf(name);
  EXPECT_TRUE(kind) << name << ": " << base::errorOf(kind).message();
  return kind ? *kind : ObjectKind::kMissing;
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

  {
    // Closed before its folder goes: Windows removes a folder once no handle holds it.
    const base::Result<Folder> folder = top.openFolder("folder");
    ASSERT_TRUE(folder);
    const base::Result<Folder> sub = folder->openFolder("sub");
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->path(), dir / "folder" / "sub");
    EXPECT_EQ(kindOf(*sub, "file"), ObjectKind::kFile);
    EXPECT_FALSE(sub->openFolder("file"));
  }
  EXPECT_FALSE(top.createFolder("folder"));  // something is there
  EXPECT_TRUE(top.createFolder("new"));

  const base::Result<bool> missing = top.removeObject("missing");
  ASSERT_TRUE(missing);
  EXPECT_FALSE(*missing);
  EXPECT_FALSE(top.removeObject("folder"));  // not empty
  const base::Result<std::uintmax_t> removed = top.removeTree("folder");
  ASSERT_TRUE(removed);
  EXPECT_EQ(*removed, 3u);
  const base::Result<std::uintmax_t> again = top.removeTree("folder");
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, 0u);
  EXPECT_EQ(kindOf(top, "folder"), ObjectKind::kMissing);
}

TEST(Folder, FilesAreCreatedExclusivelyReadBackAndStamped) {
  testing::TempDir dir;
  const Folder top = opened(dir.path());
  {
    base::Result<OutputFile> out = top.createFile("file");
    ASSERT_TRUE(out);
    const std::uint8_t bytes[] = {'a', 'b', 'c'};
    EXPECT_TRUE(out->write(bytes));
    EXPECT_TRUE(out->close());
  }
  EXPECT_FALSE(top.createFile("file"));  // never over what is there
  base::Result<LastWriteTimeWriter> stamp = top.openForTimeStamp("file");
  ASSERT_TRUE(stamp);
  EXPECT_TRUE(stamp->set(0x01DB5309A3E23267));
  stamp->close();
  const base::Result<FileStamp> read = top.readStamp("file");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->lastWriteTime, 0x01DB5309A3E23267u);
  EXPECT_EQ(read->size, 3u);

  base::Result<InputFile> in = top.openFile("file");
  ASSERT_TRUE(in);
  std::uint8_t buffer[8] = {};
  const base::Result<std::size_t> first = in->read(buffer);
  const base::Result<std::size_t> second = in->read(buffer);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(*first, 3u);
  EXPECT_EQ(*second, 0u);
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
  EXPECT_FALSE(Folder::open(dir / "top"));
  EXPECT_FALSE(Folder::open(dir / "missing"));
}

TEST(Folder, AReadOnlyEntryBecomesWritable) {
  testing::TempDir dir;
  testing::writeFile(dir / "file", "x");
  fs::permissions(dir / "file",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const Folder top = opened(dir.path());
  EXPECT_TRUE(top.setNormalAttributes("file"));
  EXPECT_NE(fs::status(dir / "file").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_TRUE(top.removeObject("file"));
  const base::Result<void> gone = top.setNormalAttributes("file");
  ASSERT_FALSE(gone);
  EXPECT_EQ(gone.error().value(), 2);  // ENOENT, ERROR_FILE_NOT_FOUND
}

TEST(Folder, AStagedFileTakesItsNameOnlyWhenCommitted) {
  testing::TempDir dir;
  testing::writeFile(dir / "file", "old");
  const Folder top = opened(dir.path());
  base::Result<StagedFile> staged = top.createStagedFile(3);
  ASSERT_TRUE(staged) << staged.error().message();
  ASSERT_TRUE(staged->reserve({}));  // before any byte is written
  std::copy_n("new", 3, staged->bytes().begin());
  EXPECT_EQ(testing::readFile(dir / "file"), "old");
  EXPECT_TRUE(fs::exists(dir / staged->temporaryName()));
  const base::Result<void> committed = staged->commit("file", 0x01DB5309A3E23267);
  EXPECT_TRUE(committed) << base::errorOf(committed).message();
  EXPECT_EQ(testing::readFile(dir / "file"), "new");
  EXPECT_EQ(top.readStamp("file")->lastWriteTime, 0x01DB5309A3E23267u);

  base::Result<StagedFile> discarded = top.createStagedFile(1 << 20);
  ASSERT_TRUE(discarded) << discarded.error().message();
  discarded->discard();
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
  const base::Result<Folder> sub = install_.openFolder("sub");
  ASSERT_TRUE(sub);
  EXPECT_FALSE(sub->openFolder("folder-link"));
  EXPECT_FALSE(install_.openFile("file-link"));
  EXPECT_FALSE(install_.openForTimeStamp("file-link"));
  EXPECT_FALSE(install_.createFile("dangling"));
  fs::permissions(dir_ / "outside", fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_TRUE(sub->setNormalAttributes("folder-link"));
  EXPECT_EQ(fs::status(dir_ / "outside").permissions() & fs::perms::owner_write, fs::perms::none);
  fs::permissions(dir_ / "outside", fs::perms::owner_write, fs::perm_options::add);
  expectOutsideIntact();
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

TEST_F(Links, AreRemovedAsLinks) {
  EXPECT_TRUE(*install_.removeObject("file-link"));
  EXPECT_TRUE(*install_.removeObject("dangling"));
  const base::Result<std::uintmax_t> removed = install_.removeTree("sub");
  ASSERT_TRUE(removed);
  EXPECT_EQ(*removed, 2u);  // sub, folder-link
  EXPECT_EQ(walked(install_).size(), 0u);
  expectOutsideIntact();
}

TEST_F(Links, AStagedFileReplacesALinkAsALink) {
  base::Result<StagedFile> staged = install_.createStagedFile(1);
  ASSERT_TRUE(staged);
  staged->bytes()[0] = 'y';
  EXPECT_TRUE(staged->commit("file-link", 0x01DB5309A3E23267));
  EXPECT_FALSE(fs::is_symlink(dir_ / "install" / "file-link"));
  EXPECT_EQ(testing::readFile(dir_ / "install" / "file-link"), "y");
  expectOutsideIntact();
}

TEST_F(Links, NothingIsCreatedBehindALinkThatReplacedAnOpenedFolder) {
  const base::Result<Folder> sub = install_.openFolder("sub");
  ASSERT_TRUE(sub);
  fs::rename(dir_ / "install" / "sub", dir_ / "install" / "aside");
  fs::create_directory_symlink(dir_ / "outside", dir_ / "install" / "sub");
  // They go where the opened folder went.
  EXPECT_TRUE(sub->createFolder("made"));
  EXPECT_TRUE(sub->createFile("made.bin"));
  EXPECT_FALSE(fs::exists(dir_ / "outside" / "made"));
  EXPECT_FALSE(fs::exists(dir_ / "outside" / "made.bin"));
}
#endif

}  // namespace
}  // namespace aerolith::sys
