#include "install/root_candidates.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace aerolith::install {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

constexpr bool kWindowsPaths = fs::path::preferred_separator == L'\\';

TEST(UniqueSortedRoots, SeparatorsAreAlikeAndRunsCountAsOneButLettersDiffer) {
  const std::vector<fs::path> texts = {
      "C:\\Users\\u\\AppData\\Local", "C:/Users/u/AppData/Local", "C:\\\\Users//u\\/AppData\\Local",
      "C:\\Users\\U\\AppData\\Local",  // differs in letter case: another folder
  };
  EXPECT_THAT(uniqueSortedRoots(texts), ElementsAre(fs::path("C:\\Users\\U\\AppData\\Local"),
                                                    fs::path("C:\\Users\\u\\AppData\\Local")));
}

TEST(UniqueSortedRoots, FirstSpellingIsKeptAndTheOrderIsAscending) {
  const auto roots = uniqueSortedRoots({"/z//local", "/a/local", "/z/local", "/m/local"});
  ASSERT_THAT(roots, ElementsAre(fs::path("/a/local"), fs::path("/m/local"), fs::path("/z/local")));
  EXPECT_EQ(roots[2].native(), fs::path("/z//local").native());
}

TEST(UniqueSortedRoots, EmptyPathsAreDroppedAndNothingGivesNothing) {
  EXPECT_THAT(uniqueSortedRoots({}), IsEmpty());
  EXPECT_THAT(uniqueSortedRoots({"", ""}), IsEmpty());
  EXPECT_THAT(uniqueSortedRoots({"", "/b", ""}), ElementsAre(fs::path("/b")));
}

TEST(UniqueSortedRoots, OrderFollowsPathElementsNotRawText) {
  // As text "/x y" sorts first (' ' < '/'); as paths "/x" is a prefix of "/x y".
  EXPECT_THAT(uniqueSortedRoots({"/x y/local", "/x/local"}),
              ElementsAre(fs::path("/x/local"), fs::path("/x y/local")));
}

TEST(UniqueSortedRoots, NetworkPathIsNotTheSameAsARootedPath) {
  std::vector<fs::path::string_type> roots;
  for (const auto& root :
       uniqueSortedRoots({"\\\\server\\share", "\\server\\share", "//server//share"})) {
    roots.push_back(root.native());
  }
  EXPECT_THAT(roots, UnorderedElementsAre(fs::path("\\\\server\\share").native(),
                                          fs::path("\\server\\share").native()));
}

TEST(LauncherFolders, FallbackIsTheParentOfTheLaunchersFolder) {
  const fs::path launcher = kWindowsPaths ? "C:\\Apps\\Vantor\\Aerolith.Launcher.exe"
                                          : "/opt/vantor/bin/aerolith-launcher";
  const LauncherFolders folders = launcherFolders(launcher);
  EXPECT_EQ(folders.folder, launcher.parent_path());
  EXPECT_EQ(folders.parent, kWindowsPaths ? fs::path("C:\\Apps") : fs::path("/opt/vantor"));
}

TEST(LauncherFolders, LauncherInARootFolderFallsBackToThatRoot) {
  const fs::path launcher = kWindowsPaths ? "C:\\Aerolith.Launcher.exe" : "/aerolith-launcher";
  const fs::path root = kWindowsPaths ? "C:\\" : "/";
  const LauncherFolders folders = launcherFolders(launcher);
  EXPECT_EQ(folders.folder.native(), root.native());
  EXPECT_EQ(folders.parent.native(), root.native());
  EXPECT_EQ((folders.parent / "Aerolith").native(),
            fs::path(kWindowsPaths ? "C:\\Aerolith" : "/Aerolith").native());
}

}  // namespace
}  // namespace aerolith::install
