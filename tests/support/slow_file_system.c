/* A slowed file system without FUSE, for the watchdog scenarios: preloaded
 * (LD_PRELOAD) into a native program or into Wine, it slows or stops the reads
 * and writes of regular files below one folder.
 *
 *   AEROLITH_SLOW_FS_UNDER     the folder (a Unix path); nothing else is touched
 *   AEROLITH_SLOW_FS_DELAY_MS  every read and write there first waits this long
 *   AEROLITH_SLOW_FS_STALL     a read of the file of this name there never
 *                              returns, as on a disk that stopped answering
 *   AEROLITH_SLOW_FS_FULL_AFTER the disk is full once this many bytes were
 *                              written or allocated there: a write or an
 *                              allocation beyond fails (ENOSPC)
 *
 * Built for the host in both build trees: Wine's own Unix side makes the calls
 * that a Windows program's file access ends in. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

static const char* under;
static const char* stall;
static long delay_ms;
static long long room = -1; /* bytes the disk still takes; -1: no end */

static ssize_t (*real_read)(int, void*, size_t);
static ssize_t (*real_pread)(int, void*, size_t, off_t);
static ssize_t (*real_write)(int, const void*, size_t);
static ssize_t (*real_pwrite)(int, const void*, size_t, off_t);
static int (*real_posix_fallocate)(int, off_t, off_t);

__attribute__((constructor)) static void set_up(void) {
  real_read = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  real_pread = (ssize_t(*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
  real_write = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  real_pwrite = (ssize_t(*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
  real_posix_fallocate = (int (*)(int, off_t, off_t))dlsym(RTLD_NEXT, "posix_fallocate");
  under = getenv("AEROLITH_SLOW_FS_UNDER");
  stall = getenv("AEROLITH_SLOW_FS_STALL");
  const char* delay = getenv("AEROLITH_SLOW_FS_DELAY_MS");
  delay_ms = delay ? atol(delay) : 0;
  const char* full_after = getenv("AEROLITH_SLOW_FS_FULL_AFTER");
  if (full_after) room = atoll(full_after);
}

/* The path of `fd` when it is a regular file below the folder, else NULL. */
static const char* slowed_path(int fd, char* path, size_t size) {
  struct stat status;
  if (under == NULL || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return NULL;
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, path, size - 1);
  if (length < 0) return NULL;
  path[length] = '\0';
  const size_t prefix = strlen(under);
  return strncmp(path, under, prefix) == 0 && path[prefix] == '/' ? path : NULL;
}

/* Waits as the folder's disk does; returns 0 when the disk has no room left
 * for a write of `size` bytes, which then must fail. */
static int pace(int fd, int reading, size_t size) {
  char buffer[PATH_MAX];
  const char* path = slowed_path(fd, buffer, sizeof buffer);
  if (path == NULL) return 1;
  if (reading && stall != NULL && strcmp(strrchr(path, '/') + 1, stall) == 0) {
    for (;;) pause();
  }
  struct timespec wait = {delay_ms / 1000, (delay_ms % 1000) * 1000000};
  while (delay_ms > 0 && nanosleep(&wait, &wait) != 0) {
  }
  if (reading || room < 0) return 1;
  if (__atomic_sub_fetch(&room, (long long)size, __ATOMIC_SEQ_CST) >= 0) return 1;
  __atomic_store_n(&room, 0, __ATOMIC_SEQ_CST);
  errno = ENOSPC;
  return 0;
}

ssize_t read(int fd, void* buffer, size_t size) {
  pace(fd, 1, size);
  return real_read(fd, buffer, size);
}

ssize_t pread(int fd, void* buffer, size_t size, off_t offset) {
  pace(fd, 1, size);
  return real_pread(fd, buffer, size, offset);
}

ssize_t pread64(int fd, void* buffer, size_t size, off_t offset) {
  return pread(fd, buffer, size, offset);
}

ssize_t write(int fd, const void* buffer, size_t size) {
  if (!pace(fd, 0, size)) return -1;
  return real_write(fd, buffer, size);
}

ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset) {
  if (!pace(fd, 0, size)) return -1;
  return real_pwrite(fd, buffer, size, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t size, off_t offset) {
  return pwrite(fd, buffer, size, offset);
}

int posix_fallocate(int fd, off_t offset, off_t length) {
  if (!pace(fd, 0, (size_t)length)) return ENOSPC;
  return real_posix_fallocate(fd, offset, length);
}

int posix_fallocate64(int fd, off_t offset, off_t length) {
  return posix_fallocate(fd, offset, length);
}
