#include "install/synchronise.hpp"

#include <memory>
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

// The path of a walked entry below the install directory, as text: the walk
// names each entry by the install directory, a separator and the rest.
std::wstring relativeText(const fs::path& installDirectory, const fs::path& path) {
  const std::size_t prefix = installDirectory.native().size() + 1;
  return sys::wideFromPath(fs::path(path.native().substr(prefix)));
}

// The last component of a relative path.
std::wstring_view lastComponent(std::wstring_view relative) {
  const std::size_t separator = relative.find_last_of(L"\\/");
  return separator == std::wstring_view::npos ? relative : relative.substr(separator + 1);
}

// Where '\' is no separator (Linux), a name may hold one, and a key would read
// it as a separator: such a name is no manifest path.
bool holdsForeignSeparator(std::wstring_view relative) {
  return fs::path::preferred_separator != L'\\' && relative.find(L'\\') != std::wstring_view::npos;
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
    const std::wstring relative = relativeText(installDirectory_, path);
    if (protectedNames_.contains(bundle::BundlePath(std::wstring(lastComponent(relative))))) {
      AEROLITH_TRACE(kTag, L" - is config file - continue");
      return;
    }
    const auto listed =
        holdsForeignSeparator(relative) ? files_.end() : files_.find(bundle::BundlePath(relative));
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
