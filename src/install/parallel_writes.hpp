// Writing the entries of a pass on a few threads at once, since creating
// many small files is faster so (natively and under Wine) than one after the
// other. The pass hands entries over in its order; each goes to the thread
// that writes everything below the same top folder, so no two threads ever
// make or clear the same folder or name. What a write traces is held and
// written out in the order entries were handed over, so the trace, the
// failure met first and the dialog are those of a single-threaded pass.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bundle/file_entry.hpp"
#include "diag/trace_logger.hpp"
#include "install/file_entry_writer.hpp"
#include "install/sync_progress.hpp"
#include "install/synchronise.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

// Writes an extracted entry (writeEntry) and lets its content go whatever the
// outcome, so that only the files being written and the read-ahead hold any;
// its bytes count as written once they are.
base::Result<void, WriteFailure> writeExtracted(bundle::FileEntry& entry,
                                                const sys::Folder& installFolder, LastFolder& last,
                                                SyncProgress& progress);

class ParallelWrites {
 public:
  // Starts `threads` writers (fewer if the system refuses some; with none the
  // caller writes each entry as it hands it over). `installFolder` and
  // `progress` must outlive this object.
  ParallelWrites(const sys::Folder& installFolder, unsigned threads, SyncProgress& progress);
  // Waits for the writes handed over (finish()) and stops the writers.
  ~ParallelWrites();
  ParallelWrites(const ParallelWrites&) = delete;
  ParallelWrites& operator=(const ParallelWrites&) = delete;

  // Hands over `entry`, its content extracted, with `records`, what the pass
  // traced for it so far (written before its write's own). The entry's
  // content goes once written, and its bytes count as written. Returns the
  // failure of the first entry, in order, whose write failed, once the records
  // of every entry before it and its own are written; the writes handed over
  // after it are dropped or let finish, their records not written, and
  // nothing more may be handed over.
  [[nodiscard]] SyncStatus write(bundle::FileEntry& entry, diag::HeldRecords records);

  // Waits for every write handed over; the first failure as write() tells it.
  [[nodiscard]] SyncStatus finish();

 private:
  struct Job {
    bundle::FileEntry* entry;
    diag::HeldRecords records;
    std::optional<WriteFailure> failure;  // none while not done, or written
    bool done = false;
  };
  struct Writer {
    std::thread thread;
    std::deque<Job*> queue;
    LastFolder last;
  };

  void run(Writer& writer);
  void writeJob(Job& job, LastFolder& last);
  Writer& writerFor(const std::wstring& directory);
  // Writes out the records of the finished jobs at the front, in order, and
  // waits for the front while more than `inFlight` jobs or kHeldBytes of
  // content are under way; the first failure met.
  SyncStatus collect(std::size_t inFlight);

  const sys::Folder& installFolder_;
  SyncProgress& progress_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;  // handed over, not yet collected
  std::size_t heldBytes_ = 0;
  bool stopping_ = false;
  std::deque<Writer> writers_;
  std::map<std::wstring, Writer*> byTopFolder_;
  LastFolder callerLast_;  // when no writer started
};

}  // namespace aerolith::install
