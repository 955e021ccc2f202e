// Last-write times of files as FILETIME values: unsigned 64-bit counts of 100-ns
// ticks since 1601-01-01 00:00:00 UTC, the time stamp the bundle stores. On
// POSIX they are converted exactly from and to nanosecond stat times.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

#include "base/result.hpp"
#include "sys/file/owned_handle.hpp"

namespace aerolith::sys {

class Folder;

// A point in time on the Unix clock: seconds since 1970 (negative before) and
// the nanoseconds of that second.
struct UnixTime {
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;  // 0 to 999,999,999
  friend bool operator==(const UnixTime&, const UnixTime&) = default;
};

// Sub-100-ns digits are dropped (towards the past). Nothing when the time lies
// before 1601 or beyond what 64 bits of ticks can hold.
std::optional<std::uint64_t> fileTimeFromUnix(UnixTime time);
UnixTime unixFromFileTime(std::uint64_t fileTime);

// What one attribute query tells about a file (GetFileAttributesExW; stat).
struct FileStamp {
  std::uint64_t lastWriteTime = 0;  // FILETIME
  std::uint64_t size = 0;
};

// The stamp of the file at `file`, links followed; the system's error on failure.
base::Result<FileStamp> readFileStamp(const std::filesystem::path& file);

// Sets the last-write time of the file open as `file`; its other times stay.
// The system's error on failure. What every writer of a time calls.
base::Result<void> setLastWriteTime(const OwnedHandle& file, std::uint64_t fileTime);

// A file opened only to set its last-write time, step by step, the way the
// installer stamps what it writes: for writing attributes alone, without
// sharing. Opened by Folder::openForTimeStamp, never through a link.
class LastWriteTimeWriter {
 public:
  LastWriteTimeWriter() = default;  // closed

  bool isOpen() const { return handle_.isOpen(); }
  // Sets the last-write time; the other times stay. The system's error on
  // failure.
  base::Result<void> set(std::uint64_t fileTime) { return setLastWriteTime(handle_, fileTime); }
  // Closes it now. A time already set stays whatever the close reports, so
  // there is nothing to report.
  void close() { static_cast<void>(handle_.close()); }

 private:
  friend class Folder;
  explicit LastWriteTimeWriter(OwnedHandle handle) : handle_(std::move(handle)) {}
  OwnedHandle handle_;
};

}  // namespace aerolith::sys
