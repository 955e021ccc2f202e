// A file written from its start, replacing what it held: how the launcher puts
// content on disk, with every failure (cannot open, disk full, a failed close)
// reported where it happens.
#pragma once

#include <cstdint>
#include <span>
#include <system_error>
#include <utility>

namespace aerolith::sys {

class Folder;

class OutputFile {
 public:
  OutputFile() = default;  // closed; Folder::createFile opens one
  OutputFile(OutputFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}
  OutputFile& operator=(OutputFile&& other) noexcept {
    std::swap(handle_, other.handle_);  // `other` closes what this held
    return *this;
  }
  ~OutputFile();

  bool isOpen() const { return handle_ != kClosed; }

  // Writes all of `bytes` after what was written before. False on failure.
  bool write(std::span<const std::uint8_t> bytes, std::error_code& error);

  // Sets its last-write time (FILETIME) once the writes are done; the other
  // times stay. False on failure.
  bool setLastWriteTime(std::uint64_t fileTime, std::error_code& error);

  // Closes the file; false when the system reports that the close failed.
  bool close(std::error_code& error);

 private:
  friend class Folder;
  static constexpr std::intptr_t kClosed = -1;  // INVALID_HANDLE_VALUE; no descriptor
  explicit OutputFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = kClosed;
};

}  // namespace aerolith::sys
