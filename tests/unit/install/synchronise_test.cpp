#include "install/synchronise.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bundle/bundle_builder.hpp"
#include "bundle/loading.hpp"
#include "support/results.hpp"
#include "support/temp_dir.hpp"
#include "sys/file/file_time.hpp"

namespace aerolith::install {
namespace {
namespace fs = std::filesystem;

class Synchronise : public ::testing::Test {
 protected:
  Synchronise() {
    fs::create_directory(install_);
    folder_ = testing::valueOf(sys::Folder::open(install_));
  }

  // Loads the builder's bundle; `held` keeps a reference to every entry.
  bundle::Bundle load() {
    bytes_ = builder_.build();
    bundle::Bundle bundle{bytes_.view(), {}};
    diag::Progress unwatched;
    EXPECT_EQ(testing::failureOf(bundle::readManifest(bundle.view, bundle.files, unwatched)),
              std::nullopt);
    for (const auto& [key, entry] : bundle.files) held_.push_back(entry);
    return bundle;
  }

  // The pass as the launcher runs it, the folder listed ahead from now on.
  std::optional<SyncFailure> synchronise(bundle::Bundle& bundle) {
    SyncProgress progress;
    return synchronise(bundle, progress);
  }
  std::optional<SyncFailure> synchronise(bundle::Bundle& bundle, SyncProgress& progress) {
    ListingAhead listing(folder_);
    return testing::failureOf(
        synchroniseInstallDirectory(folder_, listing, bundle, protectedConfigNames(), 2, progress));
  }

  void expectInstalled(const fs::path& relative, const std::string& content, std::size_t index) {
    EXPECT_EQ(testing::readFile(install_ / relative), content) << relative;
    EXPECT_EQ(testing::valueOf(sys::readFileStamp(install_ / relative)).lastWriteTime,
              builder_.record(index).fileTime)
        << relative;
  }

  testing::TempDir dir_;
  const fs::path install_ = dir_ / "Aerolith";
  sys::Folder folder_;
  testing::BundleBuilder builder_;
  testing::BundleBytes bytes_;
  std::vector<std::shared_ptr<bundle::FileEntry>> held_;
};

// Whoever still holds an entry, its content goes once its file is written:
// rewritten in the walk or added afterwards. What it writes is published.
TEST_F(Synchronise, EveryContentIsReleasedOnceItsFileIsWritten) {
  builder_.add(L"", L"Aerolith.exe", std::string(5000, 'a'));
  builder_.add(L"Relay", L"relay.exe", std::string(3000, 'r'));
  builder_.add(L"Relay", L"sdk.dll", std::string(70'000, 's'));
  fs::create_directory(install_ / "Relay");
  testing::writeFile(install_ / "Relay" / "relay.exe", "an older relay");
  bundle::Bundle bundle = load();

  SyncProgress progress;
  EXPECT_EQ(synchronise(bundle, progress), std::nullopt);

  expectInstalled("Aerolith.exe", std::string(5000, 'a'), 0);
  expectInstalled(fs::path("Relay") / "relay.exe", std::string(3000, 'r'), 1);
  expectInstalled(fs::path("Relay") / "sdk.dll", std::string(70'000, 's'), 2);
  EXPECT_EQ(bundle.files.size(), 2u);  // the rewritten file left the map, the added ones stay
  for (const auto& entry : held_) EXPECT_EQ(entry->content.capacity(), 0u) << entry->index;
  // Every byte written was announced before, and each counted once; one of the
  // three files was there, which makes a repair.
  const SyncProgressSnapshot published = progress.read();
  EXPECT_EQ(published.written, 78'000u);
  EXPECT_EQ(published.toWrite, 78'000u);
  EXPECT_EQ(published.activity, SyncActivity::kRepair);
}

// A failure ends the pass and comes back as it is, for the launcher to show.
TEST_F(Synchronise, ReturnsTheFailureThatStoppedIt) {
  builder_.add(L"", L"a.dll", std::string(100, 'a')).compressedCrc32c ^= 1;
  bundle::Bundle damaged = load();
  EXPECT_EQ(synchronise(damaged),
            SyncFailure(bundle::ErrorTriple{bundle::Stage::kAddEntry, 0, 12}));
  EXPECT_FALSE(fs::exists(install_ / "a.dll"));
}

// Entries are written on two threads, each below top folders of its own; a
// damaged entry still ends the pass as one thread would: everything before it
// is written when the failure comes back, nothing after it is begun.
TEST_F(Synchronise, ADamagedEntryStopsThePassWithEverythingBeforeItWritten) {
  const std::vector<std::wstring> folders = {L"A", L"B", L"C", L"D"};
  for (const std::wstring& folder : folders) {
    for (int i = 0; i < 50; ++i) builder_.add(folder, std::to_wstring(i), std::string(i, 'x'));
  }
  builder_.record(2 * 50 + 7).compressedCrc32c ^= 1;  // C\7
  bundle::Bundle damaged = load();
  EXPECT_EQ(synchronise(damaged),
            SyncFailure(bundle::ErrorTriple{bundle::Stage::kAddEntry, 2 * 50 + 7, 12}));
  // Folders go in order, the files of one in no order of their names.
  for (std::size_t f = 0; f < folders.size(); ++f) {
    for (int i = 0; i < 50; ++i) {
      const fs::path relative = fs::path(folders[f]) / std::to_string(i);
      if (f < 2 || (f == 2 && i != 7 && fs::exists(install_ / relative))) {
        expectInstalled(relative, std::string(i, 'x'), f * 50 + i);
      } else {
        EXPECT_FALSE(fs::exists(install_ / relative)) << relative;
      }
    }
  }
}

// Taken at once, the listing may find its thread not begun and walk itself;
// taken later, it waits for the thread's walk, begun or done. Either way it is
// the whole listing, handed over once.
TEST_F(Synchronise, TheListingAheadIsWholeWhetherItsThreadBeganOrNot) {
  fs::create_directory(install_ / "Relay");
  for (int i = 0; i < 100; ++i) testing::writeFile(install_ / "Relay" / std::to_string(i), "");
  for (int round = 0; round < 40; ++round) {
    ListingAhead listing(folder_);
    std::this_thread::sleep_for(std::chrono::microseconds(round * 50));
    const sys::Walk walk = listing.take();
    EXPECT_EQ(walk.entries.size(), 101u) << round;
    EXPECT_FALSE(walk.stop) << round;
  }
}

TEST_F(Synchronise, ProtectedNamesAreExactlyTheTwoConfigurationFiles) {
  const ProtectedNames names = protectedConfigNames();
  EXPECT_EQ(names.size(), 2u);
  EXPECT_TRUE(names.contains(bundle::BundlePath(L"Config.ini")));
  EXPECT_TRUE(names.contains(bundle::BundlePath(L"VantorConfig.json")));
  EXPECT_FALSE(names.contains(bundle::BundlePath(L"config.ini")));
}

#ifndef _WIN32
// A Linux name may hold a '\', which a key would read as a separator.
TEST_F(Synchronise, ANameHoldingABackslashIsNeverTakenForAListedPath) {
  builder_.add(L"Relay", L"relay.exe", "relay");
  testing::writeFile(install_ / "Relay\\relay.exe", "relay");
  bundle::Bundle bundle = load();
  ASSERT_TRUE(testing::valueOf(folder_.openForTimeStamp("Relay\\relay.exe"))
                  .set(builder_.record(0).fileTime));

  EXPECT_EQ(synchronise(bundle), std::nullopt);

  EXPECT_FALSE(fs::exists(install_ / "Relay\\relay.exe"));
  expectInstalled(fs::path("Relay") / "relay.exe", "relay", 0);
}
#endif

}  // namespace
}  // namespace aerolith::install
