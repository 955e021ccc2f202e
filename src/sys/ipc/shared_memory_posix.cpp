// A named block is a file in the user's runtime folder (a memory file system on
// a desktop), beside the lock files that stand for named mutexes, so that all
// named objects of a session share one namespace.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "sys/internal/posix_io.hpp"
#include "sys/ipc/runtime_dir.hpp"
#include "sys/ipc/shared_memory.hpp"

namespace aerolith::sys {
namespace {

constexpr std::string_view kSuffix = ".shm";

}  // namespace

bool readSharedMemory(std::wstring_view name, std::span<std::byte> into) {
  const int fd = ::open(runtimeObjectPath(name, kSuffix).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t got =
        ::pread(fd, into.data() + done, into.size() - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  return done == into.size();
}

struct SharedMemory::State {
  std::filesystem::path path;
};

SharedMemory::SharedMemory(std::wstring_view name, std::span<const std::byte> bytes) {
  auto path = runtimeObjectPath(name, kSuffix);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const bool written = writeAll(fd, bytes.data(), bytes.size());
  ::close(fd);
  if (!written) {
    ::unlink(path.c_str());
    return;
  }
  state_ = std::make_unique<State>(State{std::move(path)});
}

SharedMemory::~SharedMemory() {
  if (state_) ::unlink(state_->path.c_str());
}

}  // namespace aerolith::sys
