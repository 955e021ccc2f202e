// The file is mapped shared, so the pages written are the file's own; its
// blocks are allocated before anything is written, since a write into a page
// that the disk has no room for would end the process with SIGBUS.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "sys/fs/staged_file.hpp"
#include "sys/internal/last_error_posix.hpp"

namespace aerolith::sys {

base::Result<void> StagedFile::map(std::uint64_t size) {
  if (size == 0) return {};
  const int file = static_cast<int>(file_.get());
  if (::ftruncate(file, static_cast<off_t>(size)) != 0) return lastError();
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
  if (view == MAP_FAILED) return lastError();
  view_ = static_cast<std::uint8_t*>(view);
  size_ = size;
  return {};
}

// The blocks are allocated in one call, however large the file: no piece to tell of.
base::Result<void> StagedFile::reserve(const std::function<void()>& /*onPiece*/) {
  if (size_ == 0) return {};
  const int failed = ::posix_fallocate(static_cast<int>(file_.get()), 0, static_cast<off_t>(size_));
  if (failed != 0) return base::fail(std::error_code(failed, std::system_category()));
  return {};
}

// A shared mapping's written pages stay in the file's cache: dropping them
// from the process loses nothing.
void StagedFile::release(std::size_t end) {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  end = std::min(end, size_) / page * page;
  if (end <= released_) return;
  ::madvise(view_ + released_, end - released_, MADV_DONTNEED);
  released_ = end;
}

void StagedFile::unmap() {
  if (view_ != nullptr) ::munmap(view_, size_);
  view_ = nullptr;
  size_ = 0;
  released_ = 0;
}

base::Result<void> StagedFile::takeName(const std::filesystem::path& name) {
  const int folder = static_cast<int>(folder_);
  if (::renameat(folder, name_.c_str(), folder, name.c_str()) != 0) return lastError();
  return {};
}

void StagedFile::removeTemporary() { ::unlinkat(static_cast<int>(folder_), name_.c_str(), 0); }

}  // namespace aerolith::sys
