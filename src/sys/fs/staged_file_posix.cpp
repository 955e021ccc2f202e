// The file is mapped shared, so the pages written are the file's own; its
// blocks are allocated before anything is written, since a write into a page
// that the disk has no room for would end the process with SIGBUS.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "sys/file/file_time.hpp"
#include "sys/fs/staged_file.hpp"
#include "sys/internal/last_error_posix.hpp"

namespace aerolith::sys {

bool StagedFile::map(std::uint64_t size, std::error_code& error) {
  error.clear();
  if (size == 0) return true;
  const int file = static_cast<int>(file_.get());
  if (::ftruncate(file, static_cast<off_t>(size)) != 0) {
    error = lastErrorCode();
    return false;
  }
  void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
  if (view == MAP_FAILED) {
    error = lastErrorCode();
    return false;
  }
  view_ = static_cast<std::uint8_t*>(view);
  size_ = size;
  return true;
}

// The blocks are allocated in one call, however large the file: no piece to tell of.
bool StagedFile::reserve(const std::function<void()>& /*onPiece*/, std::error_code& error) {
  error.clear();
  if (size_ == 0) return true;
  const int failed = ::posix_fallocate(static_cast<int>(file_.get()), 0, static_cast<off_t>(size_));
  if (failed != 0) error = {failed, std::system_category()};
  return failed == 0;
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

// The time is set after the mapping ends: a write through it would set it again.
bool StagedFile::commit(const std::filesystem::path& name, std::uint64_t fileTime,
                        std::error_code& error) {
  error.clear();
  unmap();
  const int folder = static_cast<int>(folder_);
  error = setLastWriteTime(file_, fileTime);
  if (!error && ::renameat(folder, name_.c_str(), folder, name.c_str()) != 0) {
    error = lastErrorCode();
  }
  if (error) {
    discard();
    return false;
  }
  error = file_.close();
  return !error;
}

void StagedFile::discard() {
  if (!isOpen()) return;
  unmap();
  ::unlinkat(static_cast<int>(folder_), name_.c_str(), 0);
  static_cast<void>(file_.close());
}

}  // namespace aerolith::sys
