// Legacy files: each removed on its own, quietly, whatever happens to another.
#include "launcher/target_launch.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/results.hpp"
#include "support/temp_dir.hpp"
#include "support/trace_capture.hpp"

namespace aerolith::launcher {
namespace {

using testing::entryNames;
using testing::TempDir;
using testing::TraceCapture;
using testing::writeFile;

sys::Folder folderOf(const std::filesystem::path& path) {
  return testing::valueOf(sys::Folder::open(path));
}

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(RemoveLegacyFiles, RemovesExactlyTheLegacyNames) {
  TraceCapture trace;
  TempDir install;
  for (const std::wstring_view name : kLegacyFileNames) writeFile(install / name, "old");
  for (const char* kept :
       {"hidapi.dll", "Aerolith.Vantor.exe", "Aerolith.exe", "hidapi.x86.dll.bak"}) {
    writeFile(install / kept, "current");
  }
  removeLegacyFiles(folderOf(install.path()));
  EXPECT_EQ(sorted(entryNames(install.path())),
            (std::vector<std::string>{"Aerolith.Vantor.exe", "Aerolith.exe", "hidapi.dll",
                                      "hidapi.x86.dll.bak"}));
  EXPECT_EQ(trace.records(), std::vector<std::string>{});
}

TEST(RemoveLegacyFiles, OneThatCannotBeRemovedStaysAndTheRestGo) {
  TraceCapture trace;
  TempDir install;
  // A folder that is not empty cannot be removed as a file is.
  std::filesystem::create_directory(install / "hidapi.x64.dll");
  writeFile(install / "hidapi.x64.dll" / "inside", "x");
  for (const char* name :
       {"hidapi.x86.dll", "Aerolith.Vantor.x86.exe", "Aerolith.Vantor.x64.exe"}) {
    writeFile(install / name, "old");
  }
  removeLegacyFiles(folderOf(install.path()));
  EXPECT_EQ(entryNames(install.path()), std::vector<std::string>{"hidapi.x64.dll"});
  EXPECT_EQ(trace.records(), std::vector<std::string>{});
}

TEST(RemoveLegacyFiles, NothingThereIsNothingToDo) {
  TempDir dir;
  removeLegacyFiles(folderOf(dir.path()));
  removeLegacyFiles(sys::Folder());
  EXPECT_EQ(entryNames(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace aerolith::launcher
