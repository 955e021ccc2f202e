// A folder in which entries can be created but not deleted: Linux's append-only
// attribute, which binds root too (permission bits and the sticky bit do not).
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "install/access_probe.hpp"
#include "support/temp_dir.hpp"

namespace aerolith::install {
namespace {

// Nothing watches a test's signs of life.
diag::Progress unwatched;

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::entryNames;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;
using testing::TempDir;

// Sets or clears the append-only attribute; false when the file system or the
// process's privileges do not allow it.
bool setAppendOnly(const fs::path& dir, bool on) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? (flags | FS_APPEND_FL) : (flags & ~FS_APPEND_FL);
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}

// The attribute for the life of the object, so that the folder can be removed.
class AppendOnly {
 public:
  explicit AppendOnly(const fs::path& dir) : dir_(dir), set_(setAppendOnly(dir, true)) {}
  ~AppendOnly() { end(); }
  AppendOnly(const AppendOnly&) = delete;
  AppendOnly& operator=(const AppendOnly&) = delete;

  bool set() const { return set_; }
  void end() {
    if (set_) set_ = !setAppendOnly(dir_, false);
  }

 private:
  fs::path dir_;
  bool set_;
};

TEST(AccessProbe, DirectoryWhereEntriesCannotBeDeletedFailsUntilTheyCanBe) {
  TempDir dir;
  AppendOnly appendOnly(dir.path());
  if (!appendOnly.set()) GTEST_SKIP() << "append-only attribute not available";

  EXPECT_FALSE(probeDirectoryAccess(dir.path(), unwatched).ok());
  const auto leftovers = entryNames(dir.path());
  EXPECT_THAT(leftovers, ElementsAre(MatchesRegex("test-access-(0|[1-9][0-9]*)\\.folder")));

  // Later probes fail in their clean-up, before they add anything of their own.
  EXPECT_FALSE(probeDirectoryAccess(dir.path(), unwatched).ok());
  EXPECT_EQ(entryNames(dir.path()), leftovers);

  appendOnly.end();
  EXPECT_TRUE(probeDirectoryAccess(dir.path(), unwatched).ok());
  EXPECT_THAT(entryNames(dir.path()), IsEmpty());
}

TEST(AccessProbe, LeftoverFileThatCannotBeDeletedStopsTheProbeBeforeItsOwnSteps) {
  TempDir dir;
  testing::writeFile(dir / "test-access-7.file", "left behind");
  AppendOnly appendOnly(dir.path());
  if (!appendOnly.set()) GTEST_SKIP() << "append-only attribute not available";

  EXPECT_FALSE(probeDirectoryAccess(dir.path(), unwatched).ok());
  EXPECT_THAT(entryNames(dir.path()), ElementsAre("test-access-7.file"));
}

}  // namespace
}  // namespace aerolith::install
