// Decoding ahead: the entries a pass is about to write, decoded on worker
// threads while the pass writes the ones before, so that decoding and writing
// overlap. Entries are handed over in a fixed order, and the result of each is
// looked at only when its turn comes: a damaged entry stops a pass exactly
// where decoding it on the spot would have.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "bundle/entry_result.hpp"
#include "bundle/file_entry.hpp"

namespace aerolith::bundle {

class DecodeAhead {
 public:
  // How much content may wait, decoded or being decoded, beyond the entry in
  // the caller's hands. An entry larger than that is decoded only once the
  // caller waits for it, so at most the largest entry plus this is held.
  static constexpr std::size_t kDefaultBudget = 32 * 1024 * 1024;

  // Starts decoding `entries`, in this order, on `workers` threads (at least
  // one). Where no thread can be started, each entry is decoded when taken.
  // The entries must outlive this object and are touched by no one else until
  // taken.
  DecodeAhead(std::vector<FileEntry*> entries, unsigned workers,
              std::size_t budget = kDefaultBudget);
  // Stops the workers and waits for the decodes under way; the content of every
  // entry that was decoded but not taken is freed.
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // The result of FileEntry::decompress for the next entry in order, which
  // must be `entry`, once it is there: its content is filled on success.
  EntryResult take(FileEntry& entry);

 private:
  bool mayStart(std::size_t index) const;
  void work();

  const std::vector<FileEntry*> entries_;
  const std::size_t budget_;
  std::mutex mutex_;
  std::condition_variable startable_;  // an entry may be started, or the end is near
  std::condition_variable decoded_;    // the entry next to be taken is decoded
  std::vector<std::optional<EntryResult>> results_;
  std::size_t nextToStart_ = 0;
  std::size_t nextToTake_ = 0;
  std::size_t aheadBytes_ = 0;  // of entries started and not yet taken
  bool waiting_ = false;        // the caller waits for entry nextToTake_
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace aerolith::bundle
