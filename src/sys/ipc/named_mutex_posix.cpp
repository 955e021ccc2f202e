// A named mutex is an flock on a lock file named after it in the user's runtime
// folder. The lock dies with its process, as an abandoned Windows mutex does.
#include "sys/ipc/named_mutex.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "sys/ipc/runtime_dir.hpp"

namespace aerolith::sys {
namespace {

struct PosixMutex {
  int fd = -1;
  bool owned = false;
  pthread_t owner{};
};

}  // namespace

CreatedMutex createOwnedMutex(std::wstring_view name) {
  const auto path = runtimeObjectPath(name, ".lock");
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return {};
  int rc;
  while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  auto* mutex = new PosixMutex{fd, rc == 0, pthread_self()};
  if (rc != 0 && errno != EWOULDBLOCK) {
    ::close(fd);
    delete mutex;
    return {};
  }
  return {mutex, !mutex->owned};
}

bool namedMutexExists(std::wstring_view name) {
  const int fd = ::open(runtimeObjectPath(name, ".lock").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // The mutex exists while its owner holds the exclusive lock, so a shared
  // probe is refused exactly then. Closing drops the probe's lock if it got one.
  int rc;
  while ((rc = ::flock(fd, LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
  }
  const bool held = rc != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

void releaseMutex(MutexHandle handle) {
  auto* mutex = static_cast<PosixMutex*>(handle);
  if (mutex == nullptr || !mutex->owned || !pthread_equal(mutex->owner, pthread_self())) return;
  ::flock(mutex->fd, LOCK_UN);
  mutex->owned = false;
}

void closeMutex(MutexHandle handle) {
  auto* mutex = static_cast<PosixMutex*>(handle);
  if (mutex == nullptr) return;
  ::close(mutex->fd);  // drops the lock with the last descriptor
  delete mutex;
}

}  // namespace aerolith::sys
