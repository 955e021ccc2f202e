// The openat family with O_NOFOLLOW and AT_SYMLINK_NOFOLLOW: every object is
// reached from an open folder descriptor, and a link is never followed.
#include "sys/fs/folder.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "sys/file/stat_posix.hpp"
#include "sys/fs/temporary_name.hpp"
#include "sys/internal/last_error_posix.hpp"
#include "sys/internal/link_text_posix.hpp"

namespace aerolith::sys {
namespace fs = std::filesystem;

struct Folder::Root {};

namespace {

int descriptorOf(const OwnedHandle& handle) { return static_cast<int>(handle.get()); }

// A listed entry: its kind as the listing reports it, and, where asked for or
// where the file system reports no type, the rest from one status query.
FolderEntry listedEntry(int folder, const dirent64& entry, ListDetail detail) {
  FolderEntry listed{entry.d_name, ObjectKind::kFile, {}, false};
  if (entry.d_type == DT_DIR) listed.kind = ObjectKind::kDirectory;
  if (entry.d_type == DT_LNK) listed.kind = ObjectKind::kLink;
  const bool wanted = detail == ListDetail::kStatus && entry.d_type != DT_LNK;
  if (!wanted && entry.d_type != DT_UNKNOWN) return listed;
  struct stat status {};
  if (::fstatat(folder, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) return listed;
  listed.kind = kindOfMode(status.st_mode);
  if (detail != ListDetail::kStatus || listed.kind == ObjectKind::kLink) return listed;
  std::error_code error;
  const FileStamp stamp = stampOf(status, error);
  if (listed.kind == ObjectKind::kFile && !error) listed.stamp = stamp;
  listed.normalAttributes = (status.st_mode & S_IWUSR) != 0;
  return listed;
}

// Opens a regular file `name` of `folder` with `flags`; a link, a folder or a
// device is refused on the opened descriptor, and so, with kSoleLink, is a file
// with other hard links. Closed, with `error`, on failure.
enum class Links { kAny, kSoleLink };

OwnedHandle openRegularFile(int folder, const fs::path& name, int flags, Links links,
                            std::error_code& error) {
  error.clear();
  // O_NONBLOCK: a FIFO planted under a listed name must not hold the open.
  OwnedHandle descriptor(
      ::openat(folder, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!descriptor.isOpen()) {
    error = lastErrorCode();
    return {};
  }
  struct stat status {};
  if (::fstat(descriptorOf(descriptor), &status) != 0 || !S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                    : std::make_error_code(std::errc::invalid_argument);
  } else if (links == Links::kSoleLink && status.st_nlink > 1) {
    error = std::make_error_code(std::errc::too_many_links);
  } else {
    return descriptor;
  }
  return {};
}

// The path through which a descriptor opened with O_PATH reaches its object
// for calls that take no descriptor of that kind (chmod).
std::string descriptorPath(int descriptor) { return "/proc/self/fd/" + std::to_string(descriptor); }

}  // namespace

bool isTransientLock(const std::error_code&) { return false; }

Folder Folder::open(const fs::path& path, std::error_code& error) {
  error.clear();
  OwnedHandle descriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!descriptor.isOpen()) {
    error = lastErrorCode();
    return {};
  }
  return Folder(std::move(descriptor), path, std::make_shared<const Root>());
}

// The kernel keeps the resolved path of every open descriptor.
fs::path Folder::finalPath(std::error_code& error) const {
  const std::string link = "/proc/self/fd/" + std::to_string(descriptorOf(handle_));
  return fs::path(readLinkText(link.c_str(), error));
}

namespace {

// Calls `take` with each entry the folder's own descriptor yields, rewound: no
// second descriptor and no directory stream to set up, two system calls fewer
// for every folder walked.
template <typename Take>
void readEntries(int folder, std::error_code& error, Take take) {
  error.clear();
  if (::lseek(folder, 0, SEEK_SET) != 0) {
    error = lastErrorCode();
    return;
  }
  alignas(dirent64) char buffer[32 * 1024];
  for (;;) {
    const ssize_t filled = ::getdents64(folder, buffer, sizeof buffer);
    if (filled <= 0) {
      if (filled < 0) error = lastErrorCode();
      return;
    }
    for (ssize_t offset = 0; offset < filled;) {
      const auto& entry = *reinterpret_cast<const dirent64*>(buffer + offset);
      offset += entry.d_reclen;
      if (std::strcmp(entry.d_name, ".") == 0 || std::strcmp(entry.d_name, "..") == 0) continue;
      take(entry);
    }
  }
}

}  // namespace

std::vector<FolderEntry> Folder::list(std::error_code& error, ListDetail detail) const {
  std::vector<FolderEntry> entries;
  const int folder = descriptorOf(handle_);
  readEntries(folder, error, [&](const dirent64& entry) {
    entries.push_back(listedEntry(folder, entry, detail));
  });
  return entries;
}

std::vector<fs::path> Folder::names(std::error_code& error) const {
  std::vector<fs::path> names;
  readEntries(descriptorOf(handle_), error,
              [&](const dirent64& entry) { names.emplace_back(entry.d_name); });
  return names;
}

Folder Folder::openFolder(const fs::path& name, std::error_code& error) const {
  error.clear();
  OwnedHandle descriptor(::openat(descriptorOf(handle_), name.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!descriptor.isOpen()) {
    error = lastErrorCode();
    return {};
  }
  return Folder(std::move(descriptor), path_ / name, root_);
}

Folder Folder::openTopFolder(const fs::path& name, std::error_code& error) const {
  Folder folder = openFolder(name, error);
  if (folder.isOpen()) folder.root_ = std::make_shared<const Root>();
  return folder;
}

Folder Folder::createFolder(const fs::path& name, std::error_code& error) const {
  error.clear();
  if (::mkdirat(descriptorOf(handle_), name.c_str(), 0777) != 0) {
    error = lastErrorCode();
    return {};
  }
  return openFolder(name, error);
}

ObjectKind Folder::kindOf(const fs::path& name, std::error_code& error) const {
  error.clear();
  struct stat status {};
  if (::fstatat(descriptorOf(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    return kindOfMode(status.st_mode);
  }
  if (errno != ENOENT) error = lastErrorCode();
  return ObjectKind::kMissing;
}

// An entry that is already writable by its owner is left alone, so that a
// start on an intact installation changes nothing. The object is opened as
// itself (O_PATH, never through a link) and judged and changed through that
// descriptor, so that what is changed is what was judged.
void Folder::setNormalAttributes(const fs::path& name, std::error_code& error) const {
  error.clear();
  const OwnedHandle object(
      ::openat(descriptorOf(handle_), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!object.isOpen()) {
    error = lastErrorCode();
    return;
  }
  struct stat status {};
  if (::fstat(descriptorOf(object), &status) != 0) {
    error = lastErrorCode();
  } else if (!S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0) {
    if (!S_ISDIR(status.st_mode) && status.st_nlink > 1) {
      error = std::make_error_code(std::errc::too_many_links);
    } else if (::chmod(descriptorPath(descriptorOf(object)).c_str(),
                       (status.st_mode & 07777) | S_IWUSR) != 0) {
      error = lastErrorCode();
    }
  }
}

FileStamp Folder::readStamp(const fs::path& name, std::error_code& error) const {
  error.clear();
  struct stat status {};
  if (::fstatat(descriptorOf(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    error = lastErrorCode();
    return {};
  }
  return stampOf(status, error);
}

std::uint32_t Folder::linkCount(const fs::path& name, std::error_code& error) const {
  error.clear();
  struct stat status {};
  if (::fstatat(descriptorOf(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    error = lastErrorCode();
    return 0;
  }
  return static_cast<std::uint32_t>(status.st_nlink);
}

bool Folder::removeObject(const fs::path& name, std::error_code& error) const {
  error.clear();
  const int folder = descriptorOf(handle_);
  if (::unlinkat(folder, name.c_str(), 0) == 0) return true;
  if (errno == EISDIR && ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0) return true;
  if (errno != ENOENT) error = lastErrorCode();
  return false;
}

// A real folder is entered through a descriptor of its own, opened without
// following links; anything else, a link swapped in included, is removed as
// itself.
std::uintmax_t Folder::removeTree(const fs::path& name, std::error_code& error) const {
  error.clear();
  Folder inside = openFolder(name, error);
  if (!inside.isOpen()) {
    if (error != std::errc::not_a_directory && error != std::errc::too_many_symbolic_link_levels) {
      if (error == std::errc::no_such_file_or_directory) error.clear();
      return 0;
    }
    return removeObject(name, error) ? 1 : 0;
  }
  std::uintmax_t removed = 0;
  for (const FolderEntry& entry : inside.list(error)) {
    if (error) break;
    removed += inside.removeTree(entry.name, error);
    if (error) return removed;
  }
  if (error) return removed;
  if (::unlinkat(descriptorOf(handle_), name.c_str(), AT_REMOVEDIR) == 0) return removed + 1;
  error = lastErrorCode();
  return removed;
}

OutputFile Folder::createFile(const fs::path& name, std::error_code& error) const {
  error.clear();
  OwnedHandle descriptor(::openat(descriptorOf(handle_), name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!descriptor.isOpen()) {
    error = lastErrorCode();
    return {};
  }
  return OutputFile(std::move(descriptor));
}

// Read and write access: a shared mapping for writing needs both.
StagedFile Folder::createStagedFile(std::uint64_t size, std::error_code& error) const {
  for (int attempt = 0; attempt < 8; ++attempt) {
    error.clear();
    fs::path name = freshTemporaryName();
    OwnedHandle descriptor(::openat(descriptorOf(handle_), name.c_str(),
                                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!descriptor.isOpen()) {
      error = lastErrorCode();
      if (errno == EEXIST) continue;
      return {};
    }
    StagedFile file(handle_.get(), std::move(descriptor), std::move(name));
    if (!file.map(size, error)) return {};  // and the file goes with it
    return file;
  }
  return {};
}

InputFile Folder::openFile(const fs::path& name, std::error_code& error) const {
  return InputFile(openRegularFile(descriptorOf(handle_), name, O_RDONLY, Links::kAny, error));
}

// A descriptor that only names the file (O_PATH) needs no read or write
// permission; the time is set through it.
LastWriteTimeWriter Folder::openForTimeStamp(const fs::path& name, std::error_code& error) const {
  return LastWriteTimeWriter(
      openRegularFile(descriptorOf(handle_), name, O_PATH, Links::kSoleLink, error));
}

}  // namespace aerolith::sys
