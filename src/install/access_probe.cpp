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

// What a probe step fails with where no call failed: the folder did not
// behave as a folder that can hold the installation (something vanished, a
// file did not read back as written).
base::Failure<std::error_code> misbehaved() {
  return base::fail(std::make_error_code(std::errc::io_error));
}

// Opens the folder `dir` itself, never through a link. Something there that is
// no folder can never become one while it is there: it is removed (a link as
// a link), so that a later start can create the folder.
base::Result<sys::Folder> openOrClear(const fs::path& dir) {
  const base::Result<sys::Folder> parent = sys::Folder::open(dir.parent_path());
  if (!parent) return base::fail(parent.error());
  base::Result<sys::Folder> folder = parent->openTopFolder(dir.filename());
  if (folder) return folder;
  const base::Result<sys::ObjectKind> kind = parent->kindOf(dir.filename());
  if (kind && *kind != sys::ObjectKind::kMissing && *kind != sys::ObjectKind::kDirectory) {
    // The probe fails either way; whether the removal worked shows next time.
    static_cast<void>(parent->removeObject(dir.filename()));
  }
  return folder;
}

// Removes the entries that interrupted probes left behind; fails when one of
// them cannot be removed or the folder cannot be listed. A link under such a
// name is none of ours: it is removed as a link, and what it leads to stays.
base::Result<void> removeLeftovers(const sys::Folder& folder) {
  const sys::Listing<sys::FolderEntry> listing = folder.list();
  if (listing.endedEarly) return base::fail(listing.endedEarly);
  for (const sys::FolderEntry& entry : listing.entries) {
    const NativeName& name = entry.name.native();
    if (entry.kind == sys::ObjectKind::kDirectory) {
      if (!hasPrefixAndSuffix(name, kFolderSuffix)) continue;
      const base::Result<std::uintmax_t> removed = folder.removeTree(entry.name);
      if (!removed) return base::fail(removed.error());
      if (*removed == 0) return misbehaved();
    } else if (hasPrefixAndSuffix(name, kFileSuffix) ||
               (entry.kind == sys::ObjectKind::kLink && hasPrefixAndSuffix(name, kFolderSuffix))) {
      const base::Result<bool> removed = folder.removeObject(entry.name);
      if (!removed) return base::fail(removed.error());
      if (!*removed) return misbehaved();
    }
  }
  return {};
}

// A removal that found nothing to remove fails too: the object was made here.
base::Result<void> removedOwn(const base::Result<bool>& removed) {
  if (!removed) return base::fail(removed.error());
  if (!*removed) return misbehaved();
  return {};
}

// The test entries are new and their names random, yet a scanner may look at
// them as at any new entry: its passing hold is waited out.
base::Result<void> canCreateAndRemoveFolder(const sys::Folder& folder, const fs::path& name,
                                            diag::Progress& progress) {
  LockWait<> wait(progress);
  // Closed again at once.
  const base::Result<sys::Folder> created = wait.run([&] { return folder.createFolder(name); });
  if (!created) return base::fail(created.error());
  return removedOwn(wait.run([&] { return folder.removeObject(name); }));
}

base::Result<void> writeAndReadBack(const sys::Folder& folder, const fs::path& name,
                                    LockWait<>& wait) {
  {
    base::Result<sys::OutputFile> out = wait.run([&] { return folder.createFile(name); });
    if (!out) return base::fail(out.error());
    const base::Result<void> written =
        out->write({reinterpret_cast<const std::uint8_t*>(kMarker.data()), kMarker.size()});
    if (!written) return written;
    if (base::Result<void> closed = out->close(); !closed) return closed;
  }
  const base::Result<sys::FileStamp> stamp = folder.readStamp(name);
  if (!stamp) return base::fail(stamp.error());
  if (stamp->size != kMarker.size()) return misbehaved();
  base::Result<sys::InputFile> in = wait.run([&] { return folder.openFile(name); });
  if (!in) return base::fail(in.error());
  // One byte more than the marker's, so that a longer file shows.
  std::array<std::uint8_t, kMarker.size() + 1> content{};
  std::size_t length = 0;
  for (std::size_t read = 1; read != 0 && length < content.size();) {
    const base::Result<std::size_t> piece = in->read(std::span(content).subspan(length));
    if (!piece) return base::fail(piece.error());
    read = *piece;
    length += read;
  }
  const bool same =
      length == kMarker.size() &&
      std::equal(kMarker.begin(), kMarker.end(), content.begin(),
                 [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
  if (!same) return misbehaved();
  return {};
}

// The test file is removed whatever happened; only a removal that worked
// lets a good round trip count.
base::Result<void> fileRoundTripWorks(const sys::Folder& folder, const fs::path& name,
                                      diag::Progress& progress) {
  LockWait<> wait(progress);
  const base::Result<void> worked = writeAndReadBack(folder, name, wait);
  const base::Result<void> removed =
      removedOwn(wait.run([&] { return folder.removeObject(name); }));
  return worked ? removed : worked;
}

}  // namespace

base::Result<sys::Folder> probeDirectoryAccess(const fs::path& dir, diag::Progress& progress) {
  base::Result<sys::Folder> folder = openOrClear(dir);
  if (!folder) return folder;
  return probeFolderAccess(std::move(*folder), progress);
}

base::Result<sys::Folder> probeFolderAccess(sys::Folder folder, diag::Progress& progress) {
  const TestNames names = drawTestNames();
  base::Result<void> passed = removeLeftovers(folder);
  if (passed) passed = canCreateAndRemoveFolder(folder, names.folder, progress);
  if (passed) passed = fileRoundTripWorks(folder, names.file, progress);
  if (!passed) return base::fail(passed.error());
  return folder;
}

}  // namespace aerolith::install
