// A file written from its start, replacing what it held: how the launcher puts
// content on disk, with every failure (cannot open, disk full, a failed close)
// reported where it happens.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

namespace aerolith::sys {

class OutputFile {
 public:
  // Creates `path` or truncates the file there, for writing. Left closed, with
  // `error` holding the system's error, when it cannot be opened.
  OutputFile(const std::filesystem::path& path, std::error_code& error);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool isOpen() const { return handle_ != kClosed; }

  // Writes all of `bytes` after what was written before. False on failure.
  bool write(std::span<const std::uint8_t> bytes, std::error_code& error);

  // Closes the file; false when the system reports that the close failed.
  bool close(std::error_code& error);

 private:
  static constexpr std::intptr_t kClosed = -1;  // INVALID_HANDLE_VALUE; no descriptor
  std::intptr_t handle_ = kClosed;
};

}  // namespace aerolith::sys
