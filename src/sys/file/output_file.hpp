// A file written from its start, replacing what it held: how the launcher puts
// content on disk, with every failure (cannot open, disk full, a failed close)
// reported where it happens.
#pragma once

#include <cstdint>
#include <span>
#include <utility>

#include "base/result.hpp"

#include "sys/file/file_time.hpp"
#include "sys/file/owned_handle.hpp"

namespace aerolith::sys {

class Folder;

class OutputFile {
 public:
  OutputFile() = default;  // closed; Folder::createFile opens one

  bool isOpen() const { return handle_.isOpen(); }

  // Writes all of `bytes` after what was written before.
  base::Result<void> write(std::span<const std::uint8_t> bytes);

  // Sets its last-write time (FILETIME) once the writes are done; the other
  // times stay.
  base::Result<void> setLastWriteTime(std::uint64_t fileTime) {
    return sys::setLastWriteTime(handle_, fileTime);
  }

  // Closes the file; fails when the system reports that the close failed.
  base::Result<void> close() { return handle_.close(); }

 private:
  friend class Folder;
  explicit OutputFile(OwnedHandle handle) : handle_(std::move(handle)) {}
  OwnedHandle handle_;
};

}  // namespace aerolith::sys
