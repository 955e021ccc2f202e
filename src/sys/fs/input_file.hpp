// A file read from its start in chunks: how the launcher reads what is already
// installed, with a failed read reported where it happens.
#pragma once

#include <cstdint>
#include <span>
#include <system_error>
#include <utility>

namespace aerolith::sys {

class Folder;

class InputFile {
 public:
  InputFile() = default;  // closed
  InputFile(InputFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}
  InputFile& operator=(InputFile&& other) noexcept {
    std::swap(handle_, other.handle_);  // `other` closes what this held
    return *this;
  }
  ~InputFile();

  bool isOpen() const { return handle_ != kClosed; }

  // Reads up to `into.size()` bytes after those read before; 0 at the end of
  // the file, or on failure with `error` set.
  std::size_t read(std::span<std::uint8_t> into, std::error_code& error);

 private:
  friend class Folder;
  static constexpr std::intptr_t kClosed = -1;  // INVALID_HANDLE_VALUE; no descriptor
  explicit InputFile(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = kClosed;
};

}  // namespace aerolith::sys
