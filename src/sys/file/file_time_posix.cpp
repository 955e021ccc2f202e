#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sys/file/file_time.hpp"
#include "sys/file/stat_posix.hpp"
#include "sys/internal/last_error_posix.hpp"

namespace aerolith::sys {

base::Result<FileStamp> readFileStamp(const std::filesystem::path& file) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) return lastError();
  return stampOf(status);
}

// AT_EMPTY_PATH: the descriptor itself, whatever it was opened for (O_PATH too).
base::Result<void> setLastWriteTime(const OwnedHandle& file, std::uint64_t fileTime) {
  const UnixTime time = unixFromFileTime(fileTime);
  const struct timespec times[2] = {
      {0, UTIME_OMIT}, {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)}};
  if (::utimensat(static_cast<int>(file.get()), "", times, AT_EMPTY_PATH) == 0) return {};
  return lastError();
}

}  // namespace aerolith::sys
