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
  const base::Result<FileStamp> stamp = stampOf(status);
  if (listed.kind == ObjectKind::kFile && stamp) listed.stamp = *stamp;
  listed.normalAttributes = (status.st_mode & S_IWUSR) != 0;
  return listed;
}

// Opens a regular file `name` of `folder` with `flags`; a link, a folder or a
// device is refused on the opened descriptor, and so, with kSoleLink, is a file
// with other hard links.
enum class Links { kAny, kSoleLink };

base::Result<OwnedHandle> openRegularFile(int folder, const fs::path& name, int flags,
                                          Links links) {
  // O_NONBLOCK: a FIFO planted under a listed name must not hold the open.
  OwnedHandle descriptor(
      ::openat(folder, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!descriptor.isOpen()) return lastError();
  struct stat status {};
  if (::fstat(descriptorOf(descriptor), &status) != 0 || !S_ISREG(status.st_mode)) {
    return base::fail(S_ISDIR(status.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                              : std::make_error_code(std::errc::invalid_argument));
  }
  if (links == Links::kSoleLink && status.st_nlink > 1) {
    return base::fail(std::make_error_code(std::errc::too_many_links));
  }
  return descriptor;
}

// The path through which a descriptor opened with O_PATH reaches its object
// for calls that take no descriptor of that kind (chmod).
std::string descriptorPath(int descriptor) { return "/proc/self/fd/" + std::to_string(descriptor); }

}  // namespace

bool isTransientLock(const std::error_code&) { return false; }

base::Result<Folder> Folder::open(const fs::path& path) {
  OwnedHandle descriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!descriptor.isOpen()) return lastError();
  return Folder(std::move(descriptor), path, std::make_shared<const Root>());
}

// The kernel keeps the resolved path of every open descriptor.
base::Result<fs::path> Folder::finalPath() const {
  const std::string link = "/proc/self/fd/" + std::to_string(descriptorOf(handle_));
  base::Result<std::string> text = readLinkText(link.c_str());
  if (!text) return base::fail(text.error());
  return fs::path(std::move(*text));
}

namespace {

// Calls `take` with each entry the folder's own descriptor yields, rewound: no
// second descriptor and no directory stream to set up, two system calls fewer
// for every folder walked.
// Returns why the reading ended early; clear when it read them all.
template <typename Take>
std::error_code readEntries(int folder, Take take) {
  if (::lseek(folder, 0, SEEK_SET) != 0) return lastErrorCode();
  alignas(dirent64) char buffer[32 * 1024];
  for (;;) {
    const ssize_t filled = ::getdents64(folder, buffer, sizeof buffer);
    if (filled <= 0) return filled < 0 ? lastErrorCode() : std::error_code();
    for (ssize_t offset = 0; offset < filled;) {
      const auto& entry = *reinterpret_cast<const dirent64*>(buffer + offset);
      offset += entry.d_reclen;
      if (std::strcmp(entry.d_name, ".") == 0 || std::strcmp(entry.d_name, "..") == 0) continue;
      take(entry);
    }
  }
}

}  // namespace

Listing<FolderEntry> Folder::list(ListDetail detail) const {
  Listing<FolderEntry> listing;
  const int folder = descriptorOf(handle_);
  listing.endedEarly = readEntries(folder, [&](const dirent64& entry) {
    listing.entries.push_back(listedEntry(folder, entry, detail));
  });
  return listing;
}

Listing<fs::path> Folder::names() const {
  Listing<fs::path> listing;
  listing.endedEarly = readEntries(descriptorOf(handle_), [&](const dirent64& entry) {
    listing.entries.emplace_back(entry.d_name);
  });
  return listing;
}

base::Result<Folder> Folder::openFolder(const fs::path& name) const {
  OwnedHandle descriptor(::openat(descriptorOf(handle_), name.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!descriptor.isOpen()) return lastError();
  return Folder(std::move(descriptor), path_ / name, root_);
}

base::Result<Folder> Folder::openTopFolder(const fs::path& name) const {
  base::Result<Folder> folder = openFolder(name);
  if (folder) folder->root_ = std::make_shared<const Root>();
  return folder;
}

base::Result<Folder> Folder::createFolder(const fs::path& name) const {
  if (::mkdirat(descriptorOf(handle_), name.c_str(), 0777) != 0) return lastError();
  return openFolder(name);
}

base::Result<ObjectKind> Folder::kindOf(const fs::path& name) const {
  struct stat status {};
  if (::fstatat(descriptorOf(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    return kindOfMode(status.st_mode);
  }
  if (errno != ENOENT) return lastError();
  return ObjectKind::kMissing;
}

// An entry that is already writable by its owner is left alone, so that a
// start on an intact installation changes nothing. The object is opened as
// itself (O_PATH, never through a link) and judged and changed through that
// descriptor, so that what is changed is what was judged.
base::Result<void> Folder::setNormalAttributes(const fs::path& name) const {
  const OwnedHandle object(
      ::openat(descriptorOf(handle_), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  if (!object.isOpen()) return lastError();
  struct stat status {};
  if (::fstat(descriptorOf(object), &status) != 0) return lastError();
  if (S_ISLNK(status.st_mode) || (status.st_mode & S_IWUSR) != 0) return {};
  if (!S_ISDIR(status.st_mode) && status.st_nlink > 1) {
    return base::fail(std::make_error_code(std::errc::too_many_links));
  }
  if (::chmod(descriptorPath(descriptorOf(object)).c_str(), (status.st_mode & 07777) | S_IWUSR) !=
      0) {
    return lastError();
  }
  return {};
}

base::Result<FileStamp> Folder::readStamp(const fs::path& name) const {
  struct stat status {};
  if (::fstatat(descriptorOf(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return lastError();
  }
  return stampOf(status);
}

base::Result<std::uint32_t> Folder::linkCount(const fs::path& name) const {
  struct stat status {};
  if (::fstatat(descriptorOf(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return lastError();
  }
  return static_cast<std::uint32_t>(status.st_nlink);
}

base::Result<bool> Folder::removeObject(const fs::path& name) const {
  const int folder = descriptorOf(handle_);
  if (::unlinkat(folder, name.c_str(), 0) == 0) return true;
  if (errno == EISDIR && ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0) return true;
  if (errno != ENOENT) return lastError();
  return false;
}

// A real folder is entered through a descriptor of its own, opened without
// following links; anything else, a link swapped in included, is removed as
// itself.
base::Result<std::uintmax_t> Folder::removeTree(const fs::path& name) const {
  base::Result<Folder> inside = openFolder(name);
  if (!inside) {
    const std::error_code error = inside.error();
    if (error == std::errc::no_such_file_or_directory) return std::uintmax_t{0};
    if (error != std::errc::not_a_directory && error != std::errc::too_many_symbolic_link_levels) {
      return base::fail(error);
    }
    const base::Result<bool> removed = removeObject(name);
    if (!removed) return base::fail(removed.error());
    return std::uintmax_t{*removed ? 1u : 0u};
  }
  const Listing<FolderEntry> listing = inside->list();
  if (listing.endedEarly) return base::fail(listing.endedEarly);
  std::uintmax_t removed = 0;
  for (const FolderEntry& entry : listing.entries) {
    const base::Result<std::uintmax_t> below = inside->removeTree(entry.name);
    if (!below) return below;
    removed += *below;
  }
  if (::unlinkat(descriptorOf(handle_), name.c_str(), AT_REMOVEDIR) != 0) return lastError();
  return removed + 1;
}

base::Result<OutputFile> Folder::createFile(const fs::path& name) const {
  OwnedHandle descriptor(::openat(descriptorOf(handle_), name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!descriptor.isOpen()) return lastError();
  return OutputFile(std::move(descriptor));
}

// Read and write access: a shared mapping for writing needs both.
base::Result<StagedFile> Folder::createStagedFile(std::uint64_t size) const {
  std::error_code error;
  for (int attempt = 0; attempt < 8; ++attempt) {
    fs::path name = freshTemporaryName();
    OwnedHandle descriptor(::openat(descriptorOf(handle_), name.c_str(),
                                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!descriptor.isOpen()) {
      error = lastErrorCode();
      if (errno == EEXIST) continue;
      return base::fail(error);
    }
    StagedFile file(handle_.get(), std::move(descriptor), std::move(name));
    const base::Result<void> mapped = file.map(size);
    if (!mapped) return base::fail(mapped.error());  // and the file goes with it
    return file;
  }
  return base::fail(error);
}

base::Result<InputFile> Folder::openFile(const fs::path& name) const {
  base::Result<OwnedHandle> file =
      openRegularFile(descriptorOf(handle_), name, O_RDONLY, Links::kAny);
  if (!file) return base::fail(file.error());
  return InputFile(std::move(*file));
}

// A descriptor that only names the file (O_PATH) needs no read or write
// permission; the time is set through it.
base::Result<LastWriteTimeWriter> Folder::openForTimeStamp(const fs::path& name) const {
  base::Result<OwnedHandle> file =
      openRegularFile(descriptorOf(handle_), name, O_PATH, Links::kSoleLink);
  if (!file) return base::fail(file.error());
  return LastWriteTimeWriter(std::move(*file));
}

}  // namespace aerolith::sys
