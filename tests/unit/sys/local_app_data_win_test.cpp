#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "install/root_candidates.hpp"
#include "sys/process/local_app_data.hpp"

namespace aerolith::sys {
namespace {

namespace fs = std::filesystem;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::SizeIs;

// Sets (or, with nothing, removes) LOCALAPPDATA in this process for one test.
class ScopedLocalAppData {
 public:
  explicit ScopedLocalAppData(const std::optional<std::wstring>& value) {
    std::wstring old(32768, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", old.data(), old.size());
    if (length != 0) old_ = old.substr(0, length);
    SetEnvironmentVariableW(L"LOCALAPPDATA", value ? value->c_str() : nullptr);
  }
  ~ScopedLocalAppData() {
    SetEnvironmentVariableW(L"LOCALAPPDATA", old_ ? old_->c_str() : nullptr);
  }
  ScopedLocalAppData(const ScopedLocalAppData&) = delete;
  ScopedLocalAppData& operator=(const ScopedLocalAppData&) = delete;

 private:
  std::optional<std::wstring> old_;
};

// The folder the three shell functions report, all of them asked every time.
fs::path shellFolder() {
  ScopedLocalAppData unset(std::nullopt);
  const auto folders = localAppDataFolders();
  EXPECT_THAT(folders, SizeIs(3));
  return folders.empty() ? fs::path() : folders.front();
}

TEST(LocalAppDataFolders, EnvironmentAndTheThreeShellSourcesAreAllAsked) {
  const fs::path shell = shellFolder();
  ASSERT_FALSE(shell.empty());
  ScopedLocalAppData local(L"A:\\elsewhere\\Local");
  EXPECT_THAT(localAppDataFolders(),
              ElementsAre(fs::path(L"A:\\elsewhere\\Local"), shell, shell, shell));
  EXPECT_THAT(install::findLocalAppDataRoots(),
              ElementsAre(fs::path(L"A:\\elsewhere\\Local"), shell));
}

TEST(LocalAppDataFolders, AgreeingSourcesGiveOneRootWhateverTheSeparators) {
  std::wstring spelled = shellFolder().wstring();
  for (wchar_t& c : spelled) {
    if (c == L'\\') c = L'/';
  }
  ScopedLocalAppData local(spelled.insert(spelled.rfind(L'/'), L"/"));
  const auto roots = install::findLocalAppDataRoots();
  ASSERT_THAT(roots, SizeIs(1));
  EXPECT_EQ(roots.front().wstring(), spelled);  // the first source's spelling is kept
}

TEST(LocalAppDataFolders, EmptyOrOverlongVariableIsSkipped) {
  for (const std::wstring& value : {std::wstring(), std::wstring(2048, L'x')}) {
    ScopedLocalAppData local(value);
    const auto folders = localAppDataFolders();
    EXPECT_THAT(folders, SizeIs(3));
    EXPECT_THAT(folders, Each(Not(fs::path())));
  }
}

}  // namespace
}  // namespace aerolith::sys
