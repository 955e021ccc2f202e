// A file read from its start in chunks: how the launcher reads what is already
// installed, with a failed read reported where it happens.
#pragma once

#include <cstdint>
#include <span>
#include <utility>

#include "base/result.hpp"

#include "sys/file/owned_handle.hpp"

namespace aerolith::sys {

class Folder;

class InputFile {
 public:
  InputFile() = default;  // closed

  bool isOpen() const { return handle_.isOpen(); }

  // Reads up to `into.size()` bytes after those read before, and says how
  // many: 0 at the end of the file.
  base::Result<std::size_t> read(std::span<std::uint8_t> into);

 private:
  friend class Folder;
  explicit InputFile(OwnedHandle handle) : handle_(std::move(handle)) {}
  OwnedHandle handle_;
};

}  // namespace aerolith::sys
