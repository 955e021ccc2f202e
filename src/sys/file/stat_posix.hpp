// What a POSIX status query tells the launcher: the object's kind, and its
// last-write time (as FILETIME) and size.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "sys/file/file_time.hpp"
#include "sys/file/object_kind.hpp"

namespace aerolith::sys {

inline ObjectKind kindOfMode(mode_t mode) {
  if (S_ISDIR(mode)) return ObjectKind::kDirectory;
  return S_ISLNK(mode) ? ObjectKind::kLink : ObjectKind::kFile;
}

// A time FILETIME cannot hold (before 1601) is an overflow.
inline base::Result<FileStamp> stampOf(const struct stat& status) {
  const auto time =
      fileTimeFromUnix({status.st_mtim.tv_sec, static_cast<std::uint32_t>(status.st_mtim.tv_nsec)});
  if (!time) return base::fail(std::error_code(EOVERFLOW, std::system_category()));
  return FileStamp{*time, static_cast<std::uint64_t>(status.st_size)};
}

}  // namespace aerolith::sys
