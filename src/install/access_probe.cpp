#include "install/access_probe.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string_view>
#include <system_error>

#include <fmt/xchar.h>

#include "install/lock_wait.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr std::wstring_view kTestPrefix = L"test-access-";
constexpr std::wstring_view kFileSuffix = L".file";
constexpr std::wstring_view kFolderSuffix = L".folder";
constexpr std::string_view kMarker = "AerolithTest";

// Names compare as the file system spells them, so the native form of the
// constants is needed (UTF-16 on Windows, bytes on Linux).
using NativeName = fs::path::string_type;

bool hasPrefixAndSuffix(const NativeName& name, std::wstring_view suffix) {
  static const NativeName prefix = sys::pathFromWide(kTestPrefix).native();
  return name.starts_with(prefix) && name.ends_with(sys::pathFromWide(suffix).native());
}

struct TestNames {
  fs::path file;
  fs::path folder;
};

TestNames drawTestNames() {
  std::random_device source;
  std::mt19937 numbers(source());
  const auto name = [&](std::wstring_view suffix) {
    const auto number = static_cast<std::uint32_t>(numbers());
    return sys::pathFromWide(fmt::format(L"{}{}{}", kTestPrefix, number, suffix));
  };
  TestNames names;
  names.file = name(kFileSuffix);  // the first number names the file, the second the folder
  names.folder = name(kFolderSuffix);
  return names;
}

// Opens the folder `dir` itself, never through a link. Something there that is
// no folder can never become one while it is there: it is removed (a link as
// a link), so that a later start can create the folder.
sys::Folder openOrClear(const fs::path& dir) {
  const base::Result<sys::Folder> parent = sys::Folder::open(dir.parent_path());
  if (!parent) return {};
  base::Result<sys::Folder> folder = parent->openTopFolder(dir.filename());
  if (folder) return std::move(*folder);
  const base::Result<sys::ObjectKind> kind = parent->kindOf(dir.filename());
  if (kind && *kind != sys::ObjectKind::kMissing && *kind != sys::ObjectKind::kDirectory) {
    // The probe fails either way; whether the removal worked shows next time.
    static_cast<void>(parent->removeObject(dir.filename()));
  }
  return {};
}

// Removes the entries that interrupted probes left behind; false when one of
// them cannot be removed or the folder cannot be listed. A link under such a
// name is none of ours: it is removed as a link, and what it leads to stays.
bool removeLeftovers(const sys::Folder& folder) {
  const sys::Listing<sys::FolderEntry> listing = folder.list();
  if (listing.endedEarly) return false;
  for (const sys::FolderEntry& entry : listing.entries) {
    const NativeName& name = entry.name.native();
    if (entry.kind == sys::ObjectKind::kDirectory) {
      if (!hasPrefixAndSuffix(name, kFolderSuffix)) continue;
      const base::Result<std::uintmax_t> removed = folder.removeTree(entry.name);
      if (!removed || *removed == 0) return false;
    } else if (hasPrefixAndSuffix(name, kFileSuffix) ||
               (entry.kind == sys::ObjectKind::kLink && hasPrefixAndSuffix(name, kFolderSuffix))) {
      const base::Result<bool> removed = folder.removeObject(entry.name);
      if (!removed || !*removed) return false;
    }
  }
  return true;
}

// The test entries are new and their names random, yet a scanner may look at
// them as at any new entry: its passing hold is waited out.
bool canCreateAndRemoveFolder(const sys::Folder& folder, const fs::path& name,
                              diag::Progress& progress) {
  LockWait<> wait(progress);
  if (!wait.run([&] { return folder.createFolder(name); })) return false;  // closed again at once
  const base::Result<bool> removed = wait.run([&] { return folder.removeObject(name); });
  return removed && *removed;
}

bool writeAndReadBack(const sys::Folder& folder, const fs::path& name, LockWait<>& wait) {
  {
    base::Result<sys::OutputFile> out = wait.run([&] { return folder.createFile(name); });
    if (!out ||
        !out->write({reinterpret_cast<const std::uint8_t*>(kMarker.data()), kMarker.size()}) ||
        !out->close()) {
      return false;
    }
  }
  const base::Result<sys::FileStamp> stamp = folder.readStamp(name);
  if (!stamp || stamp->size != kMarker.size()) return false;
  base::Result<sys::InputFile> in = wait.run([&] { return folder.openFile(name); });
  if (!in) return false;
  // One byte more than the marker's, so that a longer file shows.
  std::array<std::uint8_t, kMarker.size() + 1> content{};
  std::size_t length = 0;
  for (std::size_t read = 1; read != 0 && length < content.size();) {
    const base::Result<std::size_t> piece = in->read(std::span(content).subspan(length));
    if (!piece) return false;
    read = *piece;
    length += read;
  }
  return length == kMarker.size() &&
         std::equal(kMarker.begin(), kMarker.end(), content.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// The test file is removed whatever happened; only a removal that worked
// lets a good round trip count.
bool fileRoundTripWorks(const sys::Folder& folder, const fs::path& name, diag::Progress& progress) {
  LockWait<> wait(progress);
  const bool worked = writeAndReadBack(folder, name, wait);
  const base::Result<bool> removed = wait.run([&] { return folder.removeObject(name); });
  return worked && removed && *removed;
}

}  // namespace

sys::Folder probeDirectoryAccess(const fs::path& dir, diag::Progress& progress) {
  return probeFolderAccess(openOrClear(dir), progress);
}

sys::Folder probeFolderAccess(sys::Folder folder, diag::Progress& progress) {
  const TestNames names = drawTestNames();
  if (!folder.isOpen() || !removeLeftovers(folder) ||
      !canCreateAndRemoveFolder(folder, names.folder, progress) ||
      !fileRoundTripWorks(folder, names.file, progress)) {
    return {};
  }
  return folder;
}

}  // namespace aerolith::install
