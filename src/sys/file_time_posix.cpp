#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "sys/file_time.hpp"

namespace aerolith::sys {

FileStamp readFileStamp(const std::filesystem::path& file, std::error_code& error) {
  error.clear();
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) {
    error.assign(errno, std::system_category());
    return {};
  }
  const auto time =
      fileTimeFromUnix({status.st_mtim.tv_sec, static_cast<std::uint32_t>(status.st_mtim.tv_nsec)});
  if (!time) {
    error.assign(EOVERFLOW, std::system_category());
    return {};
  }
  return {*time, static_cast<std::uint64_t>(status.st_size)};
}

void setLastWriteTime(const std::filesystem::path& file, std::uint64_t fileTime,
                      std::error_code& error) {
  error.clear();
  const UnixTime time = unixFromFileTime(fileTime);
  const struct timespec times[2] = {
      {0, UTIME_OMIT}, {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)}};
  if (::utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) {
    error.assign(errno, std::system_category());
  }
}

}  // namespace aerolith::sys
