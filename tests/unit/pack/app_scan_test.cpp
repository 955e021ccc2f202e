#include "pack/bundle/app_scan.hpp"

#include <gtest/gtest.h>

#include "pack/base/failure.hpp"
#include "support/temp_dir.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::writeFile;

void makeFile(const fs::path& file, const std::string& content = "x") {
  fs::create_directories(file.parent_path());
  writeFile(file, content);
}

std::wstring scanFailure(const fs::path& dir) {
  try {
    scanAppFolder(dir);
  } catch (const Failure& failure) {
    return failure.message();
  }
  return L"(no failure)";
}

TEST(AppScan, ListsFilesInOrdinalUtf16OrderWithTheirFolders) {
  TempDir dir;
  for (const wchar_t* name :
       {L"B.txt", L"a\\z.txt", L"a b.txt", L"\uFF21.txt", L"\U0001F600.txt", L"x\\y\\deep.bin"}) {
    std::wstring path = name;
    std::replace(path.begin(), path.end(), L'\\', L'/');
    makeFile(dir.path() / sys::pathFromWide(path));
  }
  const AppFolder app = scanAppFolder(dir.path(), {PathFilter({}, std::nullopt), true});
  std::vector<std::wstring> paths;
  for (const SourceFile& file : app.files) {
    paths.push_back(file.directory.empty() ? file.name : file.directory + L"\\" + file.name);
  }
  // '\' (0x5C) sorts after ' ' and before letters; U+1F600 is a surrogate pair
  // (0xD83D...) and sorts before U+FF21.
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"B.txt", L"a b.txt", L"a\\z.txt", L"x\\y\\deep.bin",
                                              L"\U0001F600.txt", L"\uFF21.txt"}));
  EXPECT_EQ(app.files[3].directory, L"x\\y");
}

TEST(AppScan, RefusesAFolderWithoutItsMainProgramUnlessAllowedAndNotesEmptyFolders) {
  TempDir dir;
  makeFile(dir / "data.bin");
  makeFile(dir / "aerolith.exe");
  fs::create_directories(dir / "empty" / "nested");
  EXPECT_NE(scanFailure(dir.path()).find(L"'aerolith.exe' differs in letter case"),
            std::wstring::npos);
  const AppFolder app = scanAppFolder(dir.path(), {PathFilter({}, std::nullopt), true});
  ASSERT_EQ(app.files.size(), 2u);
  std::wstring notes;
  for (const auto& note : app.notes) notes += note + L"\n";
  EXPECT_NE(notes.find(L"holds no files"), std::wstring::npos) << notes;
  fs::remove(dir / "aerolith.exe");
  makeFile(dir / "Aerolith.exe",
           "\x7F"
           "ELF");
  fs::remove_all(dir / "empty");
  EXPECT_TRUE(scanAppFolder(dir.path()).notes.empty());
}

TEST(AppScan, ExcludesAndAFileListChooseTheFiles) {
  TempDir dir;
  for (const char* name :
       {"Aerolith.exe", "a.pdb", "sub/b.pdb", "sub/keep.txt", "Docs/x/y.md", "Docs/z.md"}) {
    makeFile(dir / name,
             "\x7F"
             "ELF");
  }
  const auto packed = [&](PathFilter filter) {
    std::vector<std::wstring> paths;
    for (const SourceFile& file : scanAppFolder(dir.path(), {std::move(filter)}).files) {
      paths.push_back(file.directory.empty() ? file.name : file.directory + L"\\" + file.name);
    }
    return paths;
  };
  using Paths = std::vector<std::wstring>;
  // Without '/' a pattern matches a name in any folder; '**' crosses folders,
  // '*' does not.
  EXPECT_EQ(packed(PathFilter({L"*.pdb", L"Docs/**/*.md"}, std::nullopt)),
            (Paths{L"Aerolith.exe", L"Docs\\z.md", L"sub\\keep.txt"}));
  EXPECT_EQ(packed(PathFilter({L"sub", L"Docs/*"}, std::nullopt)),
            (Paths{L"Aerolith.exe", L"a.pdb"}));
  EXPECT_EQ(packed(PathFilter({}, Paths{L"Aerolith.exe", L"./sub\\keep.txt"})),
            (Paths{L"Aerolith.exe", L"sub\\keep.txt"}));
  try {
    scanAppFolder(dir.path(), {PathFilter({}, Paths{L"Aerolith.exe", L"gone.txt"})});
    ADD_FAILURE() << "a listed file that is missing is refused";
  } catch (const Failure& failure) {
    EXPECT_NE(failure.message().find(L"'gone.txt': listed by --files-from"), std::wstring::npos);
  }
}

TEST(AppScan, NamesDifferingOnlyInLetterCaseAreRefused) {
  TempDir dir;
  makeFile(dir / "Data" / "one.txt");
  makeFile(dir / "data" / "two.txt");
  if (!fs::exists(dir / "Data" / "one.txt") || fs::equivalent(dir / "Data", dir / "data")) {
    GTEST_SKIP() << "the file system ignores letter case";
  }
  const std::wstring message = scanFailure(dir.path());
  EXPECT_NE(message.find(L"'Data', 'data' differ only in letter case"), std::wstring::npos)
      << message;
}

TEST(AppScan, EveryProblemIsListedInOneRefusal) {
  TempDir dir;
  makeFile(dir / "ok.txt");
  makeFile(dir / "trailing.");
  makeFile(dir / "sub" / "CON");
  if (std::none_of(fs::directory_iterator(dir.path()), fs::directory_iterator(),
                   [](const auto& entry) { return entry.path().filename() == "trailing."; })) {
    GTEST_SKIP() << "the file system cannot hold these names";
  }
  const std::wstring message = scanFailure(dir.path());
  EXPECT_NE(message.find(L"cannot pack"), std::wstring::npos);
  EXPECT_NE(message.find(L"trailing.': the name ends in a space or a period"), std::wstring::npos)
      << message;
  EXPECT_NE(message.find(L"CON': the name is reserved"), std::wstring::npos) << message;
  EXPECT_EQ(message.find(L"ok.txt"), std::wstring::npos);
}

TEST(AppScan, AFolderWithoutFilesOrNoFolderIsRefused) {
  TempDir dir;
  fs::create_directories(dir / "only" / "folders");
  EXPECT_NE(scanFailure(dir.path()).find(L"holds no files"), std::wstring::npos);
  EXPECT_NE(scanFailure(dir / "missing").find(L"is not a folder"), std::wstring::npos);
}

}  // namespace
}  // namespace aerolith::pack
