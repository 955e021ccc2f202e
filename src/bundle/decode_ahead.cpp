#include "bundle/decode_ahead.hpp"

#include <algorithm>
#include <cstdlib>

namespace aerolith::bundle {
namespace {

std::vector<std::size_t> contentSizes(const std::vector<FileEntry*>& entries) {
  std::vector<std::size_t> sizes;
  sizes.reserve(entries.size());
  for (const FileEntry* entry : entries) {
    sizes.push_back(entry->isStreamed() ? 0 : static_cast<std::size_t>(entry->size));
  }
  return sizes;
}

}  // namespace

DecodeAhead::DecodeAhead(std::vector<FileEntry*> entries, unsigned threads,
                         diag::Progress& progress, std::size_t budget)
    : entries_(std::move(entries)),
      work_(
          contentSizes(entries_),
          [this, &progress](std::size_t index, unsigned) {
            FileEntry& entry = *entries_[index];
            return entry.isStreamed() ? EntryStatus() : entry.decompress(progress);
          },
          std::max(threads, 1u) - 1, budget) {}

DecodeAhead::~DecodeAhead() {
  work_.stop();
  for (std::size_t i = work_.taken(); i < work_.started(); ++i) {
    entries_[i]->content = std::vector<std::uint8_t>();
  }
}

EntryStatus DecodeAhead::take(FileEntry& entry) {
  // Another entry's content would be written under this one's name.
  if (work_.taken() == entries_.size() || entries_[work_.taken()] != &entry) std::abort();
  return work_.take();
}

}  // namespace aerolith::bundle
