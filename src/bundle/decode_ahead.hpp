// Decoding ahead: the entries a pass is about to write, decoded on worker
// threads while the pass writes the ones before, so that decoding and writing
// overlap. Entries are handed over in a fixed order, and the result of each is
// looked at only when its turn comes: a damaged entry stops a pass exactly
// where decoding it on the spot would have.
#pragma once

#include <cstddef>
#include <vector>

#include "base/work_ahead.hpp"
#include "bundle/entry_result.hpp"
#include "bundle/file_entry.hpp"

namespace aerolith::bundle {

class DecodeAhead {
 public:
  // How much content may wait, decoded or being decoded, beyond the entry in
  // the caller's hands: at most the largest entry plus this is held.
  static constexpr std::size_t kDefaultBudget = 32 * 1024 * 1024;

  // Starts decoding `entries`, in this order, on `threads` threads in all, the
  // caller's among them: threads - 1 workers, and the caller decodes an entry
  // that none has begun when its turn comes. The entries must outlive this
  // object and are touched by no one else until taken.
  // Each decode notes `progress`, which must outlive this object.
  DecodeAhead(std::vector<FileEntry*> entries, unsigned threads, diag::Progress& progress,
              std::size_t budget = kDefaultBudget);
  // Stops the workers and waits for the decodes under way; the content of every
  // entry that was decoded but not taken is freed.
  ~DecodeAhead();

  // The result of FileEntry::decompress for the next entry in order, which
  // must be `entry`, once it is there: its content is filled on success. A
  // streamed entry (FileEntry::isStreamed) is not decoded here, nor held: its
  // turn only passes, as a success. Taking entries out of order is a fault of
  // the caller's, and ends the process.
  EntryStatus take(FileEntry& entry);

 private:
  const std::vector<FileEntry*> entries_;
  base::WorkAhead<EntryStatus> work_;
};

}  // namespace aerolith::bundle
