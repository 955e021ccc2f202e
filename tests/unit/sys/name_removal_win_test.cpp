#include "sys/fs/name_removal_win.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "support/temp_dir.hpp"

namespace aerolith::sys {
namespace {

std::vector<int> calls;  // the information classes set, in order

// A system without the POSIX disposition class (Windows 7, Wine 8).
BOOL WINAPI refusingPosix(HANDLE h, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size) {
  calls.push_back(kind);
  if (kind != FileDispositionInfo) return ::SetLastError(ERROR_INVALID_PARAMETER), FALSE;
  return ::SetFileInformationByHandle(h, kind, info, size);
}

// One with it; a classic deletion stands in for what the test system lacks.
BOOL WINAPI acceptingPosix(HANDLE h, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD) {
  calls.push_back(kind);
  EXPECT_EQ(*static_cast<DWORD*>(info), 0x13u);  // delete, POSIX semantics, ignore read-only
  FILE_DISPOSITION_INFO classic{TRUE};
  return ::SetFileInformationByHandle(h, FileDispositionInfo, &classic, sizeof classic);
}

HANDLE opened(const std::filesystem::path& path, DWORD access) {
  return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

TEST(NameRemoval, FreesTheNameAtOnceAndNeverChangesAFileWithMoreLinks) {
  testing::TempDir dir;
  testing::writeFile(dir / "held", "old");
  // Read-only files with a twin outside, one under a name of its own and one
  // left under a temporary name by an earlier start.
  for (const char* name : {"shared", ".aerolith-0000beef.tmp"}) {
    testing::writeFile(dir / name, "x");
    const std::string twin = std::string("twin of ") + name;
    ASSERT_TRUE(::CreateHardLinkW((dir / twin).c_str(), (dir / name).c_str(), nullptr));
    ::SetFileAttributesW((dir / name).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  const HANDLE folder = opened(dir.path(), FILE_LIST_DIRECTORY | FILE_TRAVERSE);
  const HANDLE scanner = opened(dir / "held", GENERIC_READ);
  const DWORD removal = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
  struct Case {
    const char* name;
    SetFileInformation set;
    bool removed;
    std::vector<int> calls;
  };
  for (const Case& c : {Case{"held", refusingPosix, true, {21, FileDispositionInfo}},
                        Case{"shared", refusingPosix, true, {21, 21}},
                        Case{".aerolith-0000beef.tmp", refusingPosix, false, {21, 21}}}) {
    calls.clear();
    const HANDLE object = opened(dir / c.name, removal);
    const base::Result<void> removed = removeName(folder, object, c.name, c.set);
    EXPECT_EQ(removed.ok(), c.removed) << c.name << base::errorOf(removed).message();
    EXPECT_EQ(calls, c.calls) << c.name;
    EXPECT_EQ(base::errorOf(removed) == std::errc::too_many_links, !c.removed) << c.name;
    ::CloseHandle(object);
  }
  // Two twins, the leftover, and held's and shared's temporary names.
  EXPECT_EQ(testing::entryNames(dir.path()).size(), 5u);
  for (const char* twin : {"twin of shared", "twin of .aerolith-0000beef.tmp"}) {
    EXPECT_NE(::GetFileAttributesW((dir / twin).c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << twin;
  }
  testing::writeFile(dir / "held", "new");  // the name is free while the scanner holds the old file
  char old[3] = {};
  DWORD read = 0;
  EXPECT_TRUE(::ReadFile(scanner, old, sizeof old, &read, nullptr) && read == 3);
  ::CloseHandle(scanner);
  EXPECT_EQ(std::string(old, 3) + testing::readFile(dir / "held"), "oldnew");

  calls.clear();
  const HANDLE object = opened(dir / "held", removal);
  EXPECT_TRUE(removeName(folder, object, L"file", acceptingPosix));
  ::CloseHandle(object);
  EXPECT_EQ(calls, std::vector<int>{21});
  EXPECT_EQ(testing::entryNames(dir.path()).size(), 4u);  // held had no name of its own left
  for (const char* twin : {"twin of shared", "twin of .aerolith-0000beef.tmp"}) {
    ::SetFileAttributesW((dir / twin).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  ::CloseHandle(folder);
}

}  // namespace
}  // namespace aerolith::sys
