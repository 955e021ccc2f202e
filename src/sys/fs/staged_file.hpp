// A file that is written under a temporary name beside its own and takes its
// own name only once it is complete, checked and stamped: content still being
// written, or content that failed its check, is never seen under the name.
// Its bytes are written through a mapping of the file, so that a writer that
// reads back what it wrote (a decoder's window) needs no memory of its own
// for them: they are the file's pages, which the system writes out and drops
// as it needs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <utility>

#include "base/result.hpp"
#include "sys/file/file_time.hpp"
#include "sys/file/owned_handle.hpp"

namespace aerolith::sys {

class Folder;

class StagedFile {
 public:
  StagedFile() = default;  // none; Folder::createStagedFile makes one
  StagedFile(StagedFile&& other) noexcept { swap(other); }
  StagedFile& operator=(StagedFile&& other) noexcept {
    swap(other);  // `other` discards what this held
    return *this;
  }
  // Discards a file that was never committed.
  ~StagedFile() { discard(); }

  bool isOpen() const { return file_.isOpen(); }

  // Its temporary name in the folder, `.aerolith-XXXXXXXX.tmp`: a name that a
  // start treats as an unlisted file, so a leftover goes at the next start.
  const std::filesystem::path& temporaryName() const { return name_; }

  // The whole file, mapped for writing; empty once committed or discarded.
  std::span<std::uint8_t> bytes() const { return {view_, size_}; }

  // Takes the disk space of the whole file, so that a full disk fails here
  // with its error and never as a fault on a page written later. Where the
  // system left the file sparse, zeros are written to take it, `onPiece`
  // called after each MiB (a sign of life). On failure the file is still
  // open, to be discarded. Call it before writing any byte.
  base::Result<void> reserve(const std::function<void()>& onPiece);

  // Lets the system have the memory of the first `end` bytes: their pages
  // leave the process (the file keeps what was written) and are read back
  // only if touched again. A hint that nothing can fail.
  void release(std::size_t end);

  // Ends the mapping, stamps `fileTime` (FILETIME) as the last-write time
  // through the handle that wrote, and moves the file over `name` in its
  // folder, replacing a file or a link there as a name (a link is never
  // followed). On failure the file is discarded.
  // The time is set once the mapping is gone: a write through it could set
  // it again.
  base::Result<void> commit(const std::filesystem::path& name, std::uint64_t fileTime) {
    unmap();
    base::Result<void> done = setLastWriteTime(file_, fileTime);
    if (done) done = takeName(name);
    if (!done) {
      discard();
      return done;
    }
    return file_.close();
  }

  // Ends the mapping and removes the file; nothing when there is none.
  // Nothing to report: a file left under its temporary name is an unlisted
  // file, which the next start removes.
  void discard() {
    if (!isOpen()) return;
    unmap();
    removeTemporary();
    static_cast<void>(file_.close());
  }

 private:
  friend class Folder;
  // `folder` is the handle of the folder it is made in, which must outlive it.
  StagedFile(std::intptr_t folder, OwnedHandle file, std::filesystem::path name)
      : folder_(folder), file_(std::move(file)), name_(std::move(name)) {}
  // Sets the file's size and maps it. The space is taken by reserve().
  base::Result<void> map(std::uint64_t size);
  void unmap();
  // Moves the file from its temporary name over `name`, replacing what is
  // there as a name, never through a link.
  base::Result<void> takeName(const std::filesystem::path& name);
  // Removes the temporary name, best effort.
  void removeTemporary();

  void swap(StagedFile& other) noexcept {
    std::swap(folder_, other.folder_);
    std::swap(file_, other.file_);
    std::swap(mapping_, other.mapping_);
    std::swap(view_, other.view_);
    std::swap(size_, other.size_);
    std::swap(released_, other.released_);
    std::swap(name_, other.name_);
  }

  std::intptr_t folder_ = OwnedHandle::kClosed;  // the folder's handle, not owned
  OwnedHandle file_;
  OwnedHandle mapping_;  // Windows: the file mapping object
  std::uint8_t* view_ = nullptr;
  std::size_t size_ = 0;
  std::size_t released_ = 0;  // of the bytes, those let go, whole pages
  std::filesystem::path name_;
};

}  // namespace aerolith::sys
