#include "install/synchronise.hpp"

#include <algorithm>
#include <map>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "bundle/decode_ahead.hpp"
#include "bundle/extraction.hpp"
#include "diag/progress.hpp"
#include "diag/trace_logger.hpp"
#include "install/lock_wait.hpp"
#include "install/parallel_writes.hpp"
#include "install/sync_state.hpp"
#include "sys/fs/directory_walk.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"Main";

// Threads that write the entries of a pass that mostly makes files, rather
// than fills them. On two cores, two create 30,000 empty files in 60 folders
// in 0.52x the time of one under Wine and 0.59x natively, and a whole first
// install of them takes 0.73x and 0.89x; four were no faster than two. Where
// content dominates they cost: 10,000 files of 640 MB took 1.2x the time
// natively, each file's bytes copied once more by another core than the one
// that decoded them.
constexpr unsigned kWriterThreads = 2;
constexpr std::uint64_t kSmallEntries = 16 * 1024;  // average bytes per entry

unsigned writerThreadsFor(std::size_t entries, std::uint64_t bytes) {
  return entries > 0 && bytes / entries <= kSmallEntries ? kWriterThreads : 0;
}

class Synchroniser {
 public:
  Synchroniser(const sys::Folder& installFolder, bundle::Bundle& bundle,
               const ProtectedNames& protectedNames, unsigned decodingThreads,
               SyncProgress& progress)
      : installFolder_(installFolder),
        view_(bundle.view),
        files_(bundle.files),
        protectedNames_(protectedNames),
        decodingThreads_(decodingThreads),
        progress_(progress) {}

  // The walk's folders close when it ends: a folder still held open could not
  // be replaced by a file of the same name afterwards.
  SyncStatus walkPass(ListingAhead& listing) {
    AEROLITH_TRACE(kTag, L"Begin recursive directory iterate");
    const sys::Walk walk = listing.take();
    if (walk.stop) {
      AEROLITH_TRACE(kTag, L" - listing ended early in '{}', ec = {}",
                     sys::wideFromPath(walk.stop->folder), walk.stop->error.value());
    }
    announceActivity(walk);
    sys::FolderChain folders(installFolder_, walk);
    for (const sys::WalkEntry& listed : walk.entries) {
      AEROLITH_TRACE(kTag, L"Existing file: '{}'", sys::wideFromPath(walk.pathOf(listed)));
      const base::Result<const sys::Folder*> folder = folders.open(listed.folder);
      if (!folder) {
        // Its listed entries are written by the remaining-entries pass.
        AEROLITH_TRACE(kTag, L" - folder gone since the listing, ec = {} - continue",
                       folder.error().value());
        continue;
      }
      if (SyncStatus handled = handle(**folder, listed); !handled) return handled;
      progress_.note();
    }
    recheckKept(walk, folders);
    AEROLITH_TRACE(kTag, L"End recursive directory iterate");
    return {};
  }

  SyncStatus remainingEntriesPass() {
    AEROLITH_TRACE(kTag, L"files map remain: {}", files_.size());
    AEROLITH_TRACE(kTag, L"Begin files map iterate");
    // Every entry is known here, so their decoding can run ahead of the writing.
    std::vector<bundle::FileEntry*> entries;
    entries.reserve(files_.size());
    for (const auto& [key, entry] : files_) entries.push_back(entry.get());
    // Folder by folder, so that each is reached once and held for its files.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const bundle::FileEntry* a, const bundle::FileEntry* b) {
                       return a->directory < b->directory;
                     });
    std::uint64_t bytes = 0;
    for (const bundle::FileEntry* entry : entries) bytes += entry->size;
    progress_.willWrite(bytes);
    bundle::DecodeAhead ahead(entries, decodingThreads_, progress_);
    lastFolder_ = LastFolder();  // a folder held open could not be replaced by a writer
    ParallelWrites writes(installFolder_, writerThreadsFor(entries.size(), bytes), progress_);
    for (bundle::FileEntry* entry : entries) {
      if (entry->isStreamed()) {
        if (SyncStatus written = writes.finish(); !written) return written;
        static_cast<void>(ahead.take(*entry));  // its turn: nothing was decoded ahead
        if (SyncStatus written = writeStreamed(*entry, bundle::Stage::kAddEntry); !written) {
          return written;
        }
      } else {
        // Its records wait for those of the entries still being written.
        diag::HeldRecords records;
        bundle::Status extracted;
        {
          const diag::HoldTrace hold(records);
          extracted = bundle::extractEntry(ahead, *entry);
          if (extracted) AEROLITH_TRACE(kTag, L" - write file");
        }
        if (!extracted) {
          if (SyncStatus written = writes.finish(); !written) return written;
          diag::writeHeld(records);
          return base::fail(extracted.error());
        }
        if (SyncStatus written = writes.write(*entry, std::move(records)); !written) {
          return written;
        }
      }
      progress_.note();
    }
    if (SyncStatus written = writes.finish(); !written) return written;
    AEROLITH_TRACE(kTag, L"End files map iterate");
    return {};
  }

 private:
  SyncStatus handle(const sys::Folder& folder, const sys::WalkEntry& existing) {
    resetAttributes(folder, existing);
    const Decision decision =
        decide(installFolder_.path(), folder, existing, files_, protectedNames_, progress_);
    switch (decision.verdict) {
      case Verdict::kDirectory:
      case Verdict::kProtected:
        return {};
      case Verdict::kUnlisted:
        removeUnlisted(folder, existing.name);
        return {};
      case Verdict::kRestamp:
        updateFileTime(folder, existing.name, decision.entry->second->fileTime);
        [[fallthrough]];
      case Verdict::kIntact:
        kept_.push_back({existing.folder, existing.name, decision.entry->second});
        files_.erase(decision.entry);
        return {};
      case Verdict::kRewrite:
        break;
    }
    // The entry outlives its place in the map while it is written.
    const std::shared_ptr<bundle::FileEntry> entry = decision.entry->second;
    progress_.willWrite(entry->size);
    if (entry->isStreamed()) {
      if (SyncStatus written = writeStreamed(*entry, bundle::Stage::kReplaceEntry); !written) {
        return written;
      }
    } else {
      const bundle::Status extracted = bundle::extractEntry(
          view_, *entry, bundle::Stage::kReplaceEntry, state_.payloadValidated, progress_);
      if (!extracted) return base::fail(extracted.error());
      if (SyncStatus written = write(*entry); !written) return written;
    }
    AEROLITH_TRACE(kTag, L" - delete in files map");
    files_.erase(decision.entry);
    return {};
  }

  // Writes an extracted entry and lets its content go (writeExtracted).
  SyncStatus write(bundle::FileEntry& entry) {
    AEROLITH_TRACE(kTag, L" - write file");
    const base::Result<void, WriteFailure> written =
        writeExtracted(entry, installFolder_, lastFolder_, progress_);
    if (!written) return base::fail(written.error());
    return {};
  }

  // Decodes an entry too large to hold straight into its file, its bytes
  // counted as written piece by piece.
  SyncStatus writeStreamed(const bundle::FileEntry& entry, bundle::Stage stage) {
    const bundle::Status checked =
        bundle::checkStreamedEntry(view_, entry, stage, state_.payloadValidated, progress_);
    if (!checked) return base::fail(checked.error());
    AEROLITH_TRACE(kTag, L" - write file");
    return writeStreamedEntry(entry, installFolder_, stage, progress_,
                              [this](std::size_t bytes) { progress_.wrote(bytes); });
  }

  // The files the listing shows stand for the bundle's files found: counting
  // exactly would cost an intact start a lookup per file, for a word of text.
  void announceActivity(const sys::Walk& walk) {
    const auto found = static_cast<std::size_t>(
        std::count_if(walk.entries.begin(), walk.entries.end(),
                      [](const sys::WalkEntry& e) { return e.kind == sys::ObjectKind::kFile; }));
    progress_.setActivity(chooseActivity(files_.size(), std::min(found, files_.size())));
  }

  // What the walk kept on the listing's word, or restamped, is looked for once
  // more when the walk is done, in one listing of names of each folder: a file
  // gone since (quarantined by a virus scanner, deleted by the user) goes back
  // to the entries still to write, so that the application never starts
  // without it. Asking each file at its turn, or each entry's status here,
  // would cost an intact start a query per file, which under Wine doubles it.
  void recheckKept(const sys::Walk& walk, sys::FolderChain& folders) {
    std::map<std::size_t, std::vector<const Kept*>> byFolder;
    for (const Kept& kept : kept_) byFolder[kept.folder].push_back(&kept);
    for (const auto& [index, kept] : byFolder) {
      const base::Result<const sys::Folder*> folder = folders.open(index);
      std::vector<std::filesystem::path> names;
      if (folder) names = (*folder)->names().entries;
      std::sort(names.begin(), names.end());
      for (const Kept* file : kept) {
        if (std::binary_search(names.begin(), names.end(), file->name)) continue;
        AEROLITH_TRACE(kTag, L"Kept file gone since: '{}'",
                       sys::wideFromPath(walk.folders[index].path / file->name));
        files_.emplace(file->entry->relativePath, file->entry);
      }
    }
  }

  // A link keeps its attributes: on POSIX, and under Wine, changing them
  // would change its target's. What the listing showed already normal needs no
  // call: an intact start asks nothing more of most files.
  static void resetAttributes(const sys::Folder& folder, const sys::WalkEntry& existing) {
    if (existing.kind == sys::ObjectKind::kLink) {
      AEROLITH_TRACE(kTag, L" - is link - attributes kept");
      return;
    }
    if (existing.normalAttributes) {
      AEROLITH_TRACE(kTag, L" - attributes already normal");
      return;
    }
    const base::Result<void> set = folder.setNormalAttributes(existing.name);
    AEROLITH_TRACE(kTag, L" - set attribute: {}", set ? L"ok" : L"FAIL");
    if (!set) AEROLITH_TRACE(kTag, L" - set attribute error: {}", set.error().value());
  }

  void removeUnlisted(const sys::Folder& folder, const std::filesystem::path& name) {
    const base::Result<bool> removed =
        LockWait<>(progress_).run([&] { return folder.removeObject(name); });
    if (!removed) {
      AEROLITH_TRACE(kTag, L" - remove exception");
    } else if (*removed) {
      AEROLITH_TRACE(kTag, L" -  - file removed");
    } else {
      AEROLITH_TRACE(kTag, L" -  - file remove failed");
    }
  }

  // A file the walk left in place, and its entry, for the check after the walk.
  struct Kept {
    std::size_t folder;
    std::filesystem::path name;
    std::shared_ptr<bundle::FileEntry> entry;
  };

  const sys::Folder& installFolder_;
  const bundle::BundleView& view_;
  bundle::FilesMap& files_;
  const ProtectedNames& protectedNames_;
  const unsigned decodingThreads_;
  SyncProgress& progress_;
  SyncState state_;
  std::vector<Kept> kept_;
  LastFolder lastFolder_;
};

}  // namespace

SyncStatus synchroniseInstallDirectory(const sys::Folder& installFolder, ListingAhead& listing,
                                       bundle::Bundle& bundle, const ProtectedNames& protectedNames,
                                       unsigned decodingThreads, SyncProgress& progress) {
  Synchroniser pass(installFolder, bundle, protectedNames, decodingThreads, progress);
  if (SyncStatus walked = pass.walkPass(listing); !walked) return walked;
  return pass.remainingEntriesPass();
}

unsigned defaultDecodingThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

}  // namespace aerolith::install
