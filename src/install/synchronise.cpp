#include "install/synchronise.hpp"

#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "bundle/extraction.hpp"
#include "diag/trace_logger.hpp"
#include "install/file_crc.hpp"
#include "install/file_entry_writer.hpp"
#include "install/sync_state.hpp"
#include "sys/directory_walk.hpp"
#include "sys/file_attributes.hpp"
#include "sys/file_objects.hpp"
#include "sys/file_time.hpp"
#include "sys/path.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"Main";

// The files-map key of an installed entry: its path below the install
// directory, components joined by '\'. None for a name that holds a separator
// of the other platform (a '\' in a Linux name), which no manifest path can be.
std::optional<bundle::BundlePath> keyOf(const fs::path& installDirectory, const fs::path& path) {
  bundle::BundlePath key;
  for (const fs::path& component : path.lexically_relative(installDirectory)) {
    const std::wstring name = sys::wideFromPath(component);
    if (name.find_first_of(L"\\/") != std::wstring::npos) return std::nullopt;
    key.append(name);
  }
  return key;
}

// The content goes as soon as its file is written, whoever still holds the
// entry, so that at most one file's content is held at a time.
void releaseContent(bundle::FileEntry& entry) { entry.content = std::vector<std::uint8_t>(); }

class Synchroniser {
 public:
  Synchroniser(const fs::path& installDirectory, bundle::FilesMap& files,
               const ProtectedNames& protectedNames)
      : installDirectory_(installDirectory), files_(files), protectedNames_(protectedNames) {}

  void walkPass() {
    AEROLITH_TRACE(kTag, L"Begin recursive directory iterate");
    for (const sys::WalkEntry& existing : sys::listTree(installDirectory_)) handle(existing);
    AEROLITH_TRACE(kTag, L"End recursive directory iterate");
  }

  void remainingEntriesPass() {
    AEROLITH_TRACE(kTag, L"files map remain: {}", files_.size());
    AEROLITH_TRACE(kTag, L"Begin files map iterate");
    for (const auto& [key, entry] : files_) {
      bundle::extractEntry(*entry, bundle::Stage::kAddEntry, state_.payloadValidated);
      AEROLITH_TRACE(kTag, L" - write file");
      entry->writeTo(installDirectory_);
      releaseContent(*entry);
    }
    AEROLITH_TRACE(kTag, L"End files map iterate");
  }

 private:
  void handle(const sys::WalkEntry& existing) {
    const fs::path& path = existing.path;
    AEROLITH_TRACE(kTag, L"Existing file: '{}'", sys::wideFromPath(path));
    resetAttributes(existing);
    if (isDirectory(existing)) {
      AEROLITH_TRACE(kTag, L" - is directory - continue");
      return;
    }
    if (protectedNames_.contains(bundle::BundlePath(sys::wideFromPath(path.filename())))) {
      AEROLITH_TRACE(kTag, L" - is config file - continue");
      return;
    }
    const std::optional<bundle::BundlePath> key = keyOf(installDirectory_, path);
    const auto listed = key ? files_.find(*key) : files_.end();
    if (listed == files_.end()) {
      AEROLITH_TRACE(kTag, L" - not in file list");
      removeUnlisted(path);
      return;
    }
    const std::shared_ptr<bundle::FileEntry> entry = listed->second;
    if (existing.kind == sys::ObjectKind::kLink) {
      // Its time, size and content are its target's, outside the install
      // directory: it is replaced by the file, never stamped or kept.
      AEROLITH_TRACE(kTag, L" - is link - overwrite file");
    } else if (matches(path, *entry)) {
      files_.erase(listed);
      return;
    }
    bundle::extractEntry(*entry, bundle::Stage::kReplaceEntry, state_.payloadValidated);
    AEROLITH_TRACE(kTag, L" - write file");
    entry->writeTo(installDirectory_);
    releaseContent(*entry);
    AEROLITH_TRACE(kTag, L" - delete in files map");
    files_.erase(listed);
  }

  // A link keeps its attributes: on POSIX, and under Wine, changing them
  // would change its target's.
  static void resetAttributes(const sys::WalkEntry& existing) {
    if (existing.kind == sys::ObjectKind::kLink) {
      AEROLITH_TRACE(kTag, L" - is link - attributes kept");
      return;
    }
    const std::error_code error = sys::setNormalAttributes(existing.path);
    AEROLITH_TRACE(kTag, L" - set attribute: {}", error ? L"FAIL" : L"ok");
    if (error) AEROLITH_TRACE(kTag, L" - set attribute error: {}", error.value());
  }

  // Answered from the listing, except for a link, whose target decides. A link
  // whose target cannot be examined counts as a file: it is then replaced or
  // removed as a link, which never touches the target.
  static bool isDirectory(const sys::WalkEntry& existing) {
    if (existing.kind != sys::ObjectKind::kLink)
      return existing.kind == sys::ObjectKind::kDirectory;
    std::error_code error;
    return sys::isDirectoryFollowingLinks(existing.path, error) && !error;
  }

  static void removeUnlisted(const fs::path& path) {
    std::error_code error;
    const bool removed = sys::removeObject(path, error);
    if (error) {
      AEROLITH_TRACE(kTag, L" - remove exception");
    } else if (removed) {
      AEROLITH_TRACE(kTag, L" -  - file removed");
    } else {
      AEROLITH_TRACE(kTag, L" -  - file remove failed");
    }
  }

  // Same last-write time and size, or else same content (then the time is
  // restamped, so that the next start decides by time and size alone).
  static bool matches(const fs::path& path, const bundle::FileEntry& entry) {
    AEROLITH_TRACE(kTag, L" - begin check file time and size");
    std::error_code error;
    const sys::FileStamp stamp = sys::readFileStamp(path, error);
    if (!error) {
      const auto entrySize = static_cast<std::int64_t>(entry.size);
      AEROLITH_TRACE(kTag, L" - time existing: {}", stamp.lastWriteTime);
      AEROLITH_TRACE(kTag, L" - time entry:    {}", entry.fileTime);
      AEROLITH_TRACE(kTag, L" - size existing: {}", stamp.size);
      AEROLITH_TRACE(kTag, L" - size entry:    {}", entrySize);
      if (stamp.lastWriteTime == entry.fileTime &&
          stamp.size == static_cast<std::uint64_t>(entrySize)) {
        AEROLITH_TRACE(kTag, L" - time and size are equal - continue");
        return true;
      }
    }
    AEROLITH_TRACE(kTag, L" - end check file time and size");
    AEROLITH_TRACE(kTag, L" - begin check crc32");
    if (computeFileCrc32c(path) == entry.crc32c) {
      AEROLITH_TRACE(kTag, L" - crc32 equal - update file time and continue");
      updateFileTime(path, entry.fileTime);
      return true;
    }
    AEROLITH_TRACE(kTag, L" - crc32 different - overwrite file");
    return false;
  }

  const fs::path& installDirectory_;
  bundle::FilesMap& files_;
  const ProtectedNames& protectedNames_;
  SyncState state_;
};

}  // namespace

ProtectedNames protectedConfigNames() {
  return {bundle::BundlePath(L"Config.ini"), bundle::BundlePath(L"VantorConfig.json")};
}

void synchroniseInstallDirectory(const fs::path& installDirectory, bundle::FilesMap& files,
                                 const ProtectedNames& protectedNames) {
  Synchroniser pass(installDirectory, files, protectedNames);
  pass.walkPass();
  pass.remainingEntriesPass();
}

}  // namespace aerolith::install
