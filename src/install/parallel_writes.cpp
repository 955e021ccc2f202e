#include "install/parallel_writes.hpp"

#include <system_error>
#include <utility>

namespace aerolith::install {
namespace {

// Writes waiting or under way: enough for each writer to work through
// folders of its own while the pass extracts ahead, little enough to bound
// the held records and contents: with the decoding's own budget, a first
// install holds at most 48 MiB beyond its largest entry.
constexpr std::size_t kInFlight = 4096;
constexpr std::size_t kHeldBytes = 16 * 1024 * 1024;

// The first component of an entry's directory text ('\' and '/' alike); empty
// for the install folder itself.
std::wstring topFolderOf(const std::wstring& directory) {
  const std::size_t start = directory.find_first_not_of(L"\\/");
  if (start == std::wstring::npos) return {};
  return directory.substr(start, directory.find_first_of(L"\\/", start) - start);
}

}  // namespace

base::Result<void, WriteFailure> writeExtracted(bundle::FileEntry& entry,
                                                const sys::Folder& installFolder, LastFolder& last,
                                                SyncProgress& progress) {
  base::Result<void, WriteFailure> written = writeEntry(entry, installFolder, last, progress);
  entry.content = std::vector<std::uint8_t>();
  if (written) progress.wrote(entry.size);
  return written;
}

ParallelWrites::ParallelWrites(const sys::Folder& installFolder, unsigned threads,
                               SyncProgress& progress)
    : installFolder_(installFolder), progress_(progress) {
  try {
    while (writers_.size() < threads) {
      Writer& writer = writers_.emplace_back();
      writer.thread = std::thread(&ParallelWrites::run, this, std::ref(writer));
    }
  } catch (const std::system_error&) {
    writers_.pop_back();  // the one whose thread did not start
  }
}

ParallelWrites::~ParallelWrites() {
  static_cast<void>(finish());  // a failure was returned to the pass already, or none is left
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (Writer& writer : writers_) writer.thread.join();
}

void ParallelWrites::writeJob(Job& job, LastFolder& last) {
  diag::HoldTrace hold(job.records);
  const base::Result<void, WriteFailure> written =
      writeExtracted(*job.entry, installFolder_, last, progress_);
  if (!written) job.failure = written.error();
}

void ParallelWrites::run(Writer& writer) {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !writer.queue.empty(); });
    if (writer.queue.empty()) return;
    Job& job = *writer.queue.front();
    writer.queue.pop_front();
    if (!stopping_) {
      lock.unlock();
      writeJob(job, writer.last);
      lock.lock();
    }
    job.done = true;
    changed_.notify_all();
  }
}

ParallelWrites::Writer& ParallelWrites::writerFor(const std::wstring& directory) {
  const auto [slot, added] = byTopFolder_.try_emplace(topFolderOf(directory), nullptr);
  if (added) slot->second = &writers_[(byTopFolder_.size() - 1) % writers_.size()];
  return *slot->second;
}

SyncStatus ParallelWrites::write(bundle::FileEntry& entry, diag::HeldRecords records) {
  Job& job = jobs_.emplace_back(Job{&entry, std::move(records), std::nullopt});
  if (writers_.empty()) {
    writeJob(job, callerLast_);
    job.done = true;
  } else {
    {
      std::lock_guard lock(mutex_);
      heldBytes_ += entry.size;
      writerFor(entry.directory).queue.push_back(&job);
    }
    changed_.notify_all();
  }
  return collect(kInFlight);
}

SyncStatus ParallelWrites::finish() { return collect(0); }

SyncStatus ParallelWrites::collect(std::size_t inFlight) {
  std::unique_lock lock(mutex_);
  while (!jobs_.empty()) {
    Job& front = jobs_.front();
    if (!front.done) {
      if (jobs_.size() <= inFlight && heldBytes_ <= kHeldBytes) return {};
      changed_.wait(lock, [&] { return front.done; });
    }
    diag::writeHeld(front.records);
    std::optional<WriteFailure> failure = std::move(front.failure);
    heldBytes_ -= std::min(heldBytes_, static_cast<std::size_t>(front.entry->size));
    jobs_.pop_front();
    if (failure) {
      // What follows it is not the pass's any more: the writers drop what
      // they have not begun, and what they have is waited for.
      stopping_ = true;
      changed_.notify_all();
      changed_.wait(lock, [&] {
        for (const Job& job : jobs_) {
          if (!job.done) return false;
        }
        return true;
      });
      jobs_.clear();
      heldBytes_ = 0;
      return base::fail(std::move(*failure));
    }
  }
  return {};
}

}  // namespace aerolith::install
