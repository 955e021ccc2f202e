#include <stdlib.h>

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
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Sets (or, with nothing, unsets) a variable for one test.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(LocalAppDataFolders, EverySourceIsAskedInItsOrder) {
  ScopedVariable local("LOCALAPPDATA", "/c/local");
  ScopedVariable xdg("XDG_DATA_HOME", "/b/xdg");
  ScopedVariable home("HOME", "/a/home");
  EXPECT_THAT(localAppDataFolders(), ElementsAre(fs::path("/c/local"), fs::path("/b/xdg"),
                                                 fs::path("/a/home/.local/share")));
  EXPECT_THAT(
      install::findLocalAppDataRoots(),
      ElementsAre(fs::path("/a/home/.local/share"), fs::path("/b/xdg"), fs::path("/c/local")));
}

TEST(LocalAppDataFolders, SourcesThatAgreeGiveOneRoot) {
  ScopedVariable local("LOCALAPPDATA", "/home/u//.local/share");
  ScopedVariable xdg("XDG_DATA_HOME", "/home/u/.local/share");
  ScopedVariable home("HOME", "/home/u");
  EXPECT_THAT(install::findLocalAppDataRoots(), ElementsAre(fs::path("/home/u/.local/share")));
}

TEST(LocalAppDataFolders, UnsetEmptyOrRelativeValuesAreSkipped) {
  {
    ScopedVariable local("LOCALAPPDATA", std::nullopt);
    ScopedVariable xdg("XDG_DATA_HOME", std::nullopt);
    ScopedVariable home("HOME", std::nullopt);
    EXPECT_THAT(localAppDataFolders(), IsEmpty());
  }
  ScopedVariable local("LOCALAPPDATA", "");
  ScopedVariable xdg("XDG_DATA_HOME", "relative/xdg");
  ScopedVariable home("HOME", "");
  EXPECT_THAT(localAppDataFolders(), IsEmpty());
}

}  // namespace
}  // namespace aerolith::sys
