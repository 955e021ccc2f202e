#include "bundle/decode_ahead.hpp"

#include <algorithm>
#include <stdexcept>
#include <system_error>

namespace aerolith::bundle {
namespace {

std::size_t contentSize(const FileEntry& entry) { return static_cast<std::size_t>(entry.size); }

}  // namespace

DecodeAhead::DecodeAhead(std::vector<FileEntry*> entries, unsigned workers, std::size_t budget)
    : entries_(std::move(entries)), budget_(budget), results_(entries_.size()) {
  const std::size_t wanted = std::min<std::size_t>(std::max(workers, 1u), entries_.size());
  try {
    while (workers_.size() < wanted) workers_.emplace_back(&DecodeAhead::work, this);
  } catch (const std::system_error&) {
    // Fewer threads than asked for, perhaps none: take() decodes what no
    // worker will.
  }
}

DecodeAhead::~DecodeAhead() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  startable_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  for (std::size_t i = nextToTake_; i < nextToStart_; ++i) {
    entries_[i]->content = std::vector<std::uint8_t>();
  }
}

EntryResult DecodeAhead::take(FileEntry& entry) {
  std::unique_lock lock(mutex_);
  const std::size_t index = nextToTake_;
  if (index == entries_.size() || entries_[index] != &entry) {
    throw std::logic_error("DecodeAhead::take out of order");
  }
  if (workers_.empty()) {
    nextToStart_ = nextToTake_ = index + 1;
    lock.unlock();
    return entry.decompress();
  }
  if (!results_[index]) {
    waiting_ = true;
    startable_.notify_one();
    decoded_.wait(lock, [&] { return results_[index].has_value(); });
    waiting_ = false;
  }
  const EntryResult result = *results_[index];
  nextToTake_ = index + 1;
  aheadBytes_ -= contentSize(entry);
  lock.unlock();
  startable_.notify_all();
  return result;
}

// The entry next to be taken may always start once the caller waits for it;
// any other only within the budget.
bool DecodeAhead::mayStart(std::size_t index) const {
  return aheadBytes_ + contentSize(*entries_[index]) <= budget_ ||
         (waiting_ && index == nextToTake_);
}

void DecodeAhead::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    startable_.wait(lock, [&] {
      return stopping_ || nextToStart_ == entries_.size() || mayStart(nextToStart_);
    });
    if (stopping_ || nextToStart_ == entries_.size()) return;
    const std::size_t index = nextToStart_++;
    FileEntry& entry = *entries_[index];
    aheadBytes_ += contentSize(entry);
    lock.unlock();
    const EntryResult result = entry.decompress();
    lock.lock();
    results_[index] = result;
    if (index == nextToTake_) decoded_.notify_one();
  }
}

}  // namespace aerolith::bundle
