// A file written from its start, replacing what it held: how the launcher puts
// content on disk, with every failure (cannot open, disk full, a failed close)
// reported where it happens.
#pragma once

#include <cstdint>
#include <span>
#include <system_error>
#include <utility>

#include "sys/file/file_time.hpp"
#include "sys/file/owned_handle.hpp"

namespace aerolith::sys {

class Folder;

class OutputFile {
 public:
  OutputFile() = default;  // closed; Folder::createFile opens one

  bool isOpen() const { return handle_.isOpen(); }

  // Writes all of `bytes` after what was written before. False on failure.
  [[nodiscard]] bool write(std::span<const std::uint8_t> bytes, std::error_code& error);

  // Sets its last-write time (FILETIME) once the writes are done; the other
  // times stay. False on failure.
  [[nodiscard]] bool setLastWriteTime(std::uint64_t fileTime, std::error_code& error) {
    error = sys::setLastWriteTime(handle_, fileTime);
    return !error;
  }

  // Closes the file; false when the system reports that the close failed.
  [[nodiscard]] bool close(std::error_code& error) {
    error = handle_.close();
    return !error;
  }

 private:
  friend class Folder;
  explicit OutputFile(OwnedHandle handle) : handle_(std::move(handle)) {}
  OwnedHandle handle_;
};

}  // namespace aerolith::sys
