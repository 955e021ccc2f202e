#include "bundle/bundle_path.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "bundle/file_entry.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::bundle {
namespace {

BundlePath path(const wchar_t* text) { return BundlePath(text); }

TEST(BundlePath, SeparatorsOfEitherKindAndRunsOfThemAreOne) {
  const BundlePath key = path(L"plugins\\x64\\hidapi.dll");
  for (const wchar_t* same : {L"plugins/x64/hidapi.dll", L"plugins\\/x64//hidapi.dll",
                              L"plugins\\\\\\x64\\hidapi.dll", L"plugins/x64\\hidapi.dll"}) {
    EXPECT_EQ(path(same), key) << same;
    EXPECT_EQ(std::hash<BundlePath>()(path(same)), std::hash<BundlePath>()(key)) << same;
  }
}

TEST(BundlePath, CaseAndEveryOtherUnitCount) {
  const BundlePath key = path(L"plugins\\Hidapi.dll");
  for (const wchar_t* other :
       {L"plugins\\hidapi.dll", L"Plugins\\Hidapi.dll", L"plugins\\Hidapi.dl",
        L"plugins\\Hidapi.dll\\", L"\\plugins\\Hidapi.dll", L"pluginsHidapi.dll",
        L"plugins.Hidapi.dll", L""}) {
    EXPECT_FALSE(path(other) == key) << other;
  }
  // Keys beyond the Basic Multilingual Plane compare by their units too.
  EXPECT_EQ(path(L"\U0001F600\\a"), path(L"\U0001F600/a"));
  EXPECT_FALSE(path(L"\U0001F600\\a") == path(L"\U0001F601\\a"));
}

TEST(BundlePath, JoinInsertsOneBackslashWhereNoSeparatorEndsTheDirectory) {
  EXPECT_EQ(BundlePath::join(L"", L"Aerolith.exe").text(), L"Aerolith.exe");
  EXPECT_EQ(BundlePath::join(L"plugins\\x64", L"a.dll").text(), L"plugins\\x64\\a.dll");
  EXPECT_EQ(BundlePath::join(L"plugins\\", L"a.dll").text(), L"plugins\\a.dll");
  EXPECT_EQ(BundlePath::join(L"plugins/", L"a.dll").text(), L"plugins/a.dll");
  EXPECT_EQ(BundlePath::join(L"plugins", L"a.dll"), BundlePath(L"plugins/a.dll"));
}

TEST(BundlePath, FileSystemPathUsesThePlatformSeparator) {
  const std::filesystem::path expected = std::filesystem::path(L"plugins") / L"x64" / L"a.dll";
  EXPECT_EQ(path(L"plugins\\x64/a.dll").toFileSystemPath(), expected);
  EXPECT_EQ(path(L"J\u00e9r\u00f4me\\a").toFileSystemPath(),
            sys::pathFromWide(L"J\u00e9r\u00f4me") / sys::pathFromWide(L"a"));
}

TEST(FilesMap, KeepsTheFirstEntryOfEqualKeys) {
  FilesMap files;
  auto first = std::make_shared<FileEntry>();
  auto second = std::make_shared<FileEntry>();
  first->index = 0;
  second->index = 1;
  EXPECT_TRUE(files.try_emplace(path(L"a\\b.dll"), first).second);
  EXPECT_FALSE(files.try_emplace(path(L"a//b.dll"), second).second);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.at(path(L"a/b.dll"))->index, 0);
  EXPECT_EQ(files.count(path(L"A\\b.dll")), 0u);
}

}  // namespace
}  // namespace aerolith::bundle
