// A folder held open, and everything the launcher does inside it. Each object
// is named relative to an open folder and opened without following a link
// (symbolic link or junction); its kind is checked on what was opened, and the
// change is made through that handle. So neither a link nor an object swapped
// in between two steps can lead a change outside the folder, and a link is
// only ever removed, as itself.
//
// Names are single components. A failure is the system's error code; a
// missing object is an error only where the function says so.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "base/result.hpp"
#include "sys/file/file_time.hpp"
#include "sys/file/input_file.hpp"
#include "sys/file/object_kind.hpp"
#include "sys/file/output_file.hpp"
#include "sys/file/owned_handle.hpp"
#include "sys/fs/staged_file.hpp"

namespace aerolith::sys {

struct FolderEntry {
  std::filesystem::path name;
  ObjectKind kind = ObjectKind::kFile;  // as the listing reports it; never kMissing
  // A file's last-write time and size, where the listing reports them (Windows,
  // or a listing with ListDetail::kStatus).
  std::optional<FileStamp> stamp;
  // Known to need nothing from Folder::setNormalAttributes; false when unknown.
  bool normalAttributes = false;
};

// What a listing read: every entry up to where it ended, and why it ended
// before the last (clear when it read them all).
template <typename Entry>
struct Listing {
  std::vector<Entry> entries;
  std::error_code endedEarly;
};

// kStatus: each entry's time, size and attributes as well, at the cost of one
// status query per entry where the listing itself does not carry them (POSIX).
enum class ListDetail { kNames, kStatus };

// Whether `error` is another program's passing hold on an object: a sharing
// violation, or a name whose deletion waits for the last handle (Windows).
// Always false on POSIX, where opening and removing take no such locks.
bool isTransientLock(const std::error_code& error);

class Folder {
 public:
  Folder() = default;

  // Opens the folder at `path`. A link or junction at `path` itself is
  // followed: the folder is used where it was found. Fails when nothing is
  // there or it is no folder.
  static base::Result<Folder> open(const std::filesystem::path& path);

  bool isOpen() const { return handle_.isOpen(); }

  // The path it was opened by, with the names of the sub-folders below it.
  const std::filesystem::path& path() const { return path_; }

  // Where the folder really is, every link on the way resolved, as the system
  // spells it (on Windows with its "\\?\" prefix). Fails when the system
  // cannot say.
  base::Result<std::filesystem::path> finalPath() const;

  // Its entries without "." and "..", in the order the file system lists them.
  // When an entry cannot be read, the listing ends early with those read
  // before. An entry whose status cannot be read is listed without it.
  [[nodiscard]] Listing<FolderEntry> list(ListDetail detail = ListDetail::kNames) const;

  // The names of its entries alone, without "." and "..": the cheapest listing,
  // which asks the file system nothing about each entry. Ends as list().
  [[nodiscard]] Listing<std::filesystem::path> names() const;

  // The sub-folder `name` itself. A link, a file or nothing there is an error.
  base::Result<Folder> openFolder(const std::filesystem::path& name) const;

  // The same, opened as a folder of its own: everything later opened below it
  // must lie below it, not merely below this one.
  base::Result<Folder> openTopFolder(const std::filesystem::path& name) const;

  // Creates the sub-folder `name` and opens it. An error when anything is there.
  base::Result<Folder> createFolder(const std::filesystem::path& name) const;

  // The object's own kind; kMissing, not an error, when nothing is there.
  base::Result<ObjectKind> kindOf(const std::filesystem::path& name) const;

  // Clears what would keep the launcher from replacing or removing the object:
  // Windows' read-only, hidden and system attributes (and the temporary,
  // offline and not-indexed ones with them; the archive attribute, which
  // belongs to backup tools, stays); on POSIX, an owner who may not write. A
  // link is left as it is. A file with other hard links is left too, with
  // std::errc::too_many_links: its attributes are those of every name it has,
  // some perhaps outside this folder.
  base::Result<void> setNormalAttributes(const std::filesystem::path& name) const;

  // The object's last-write time and size.
  base::Result<FileStamp> readStamp(const std::filesystem::path& name) const;

  // How many names the file has: more than one when it is hard-linked, maybe
  // from outside this folder.
  base::Result<std::uint32_t> linkCount(const std::filesystem::path& name) const;

  // Removes the object itself: a file, a link, or an empty folder. False, not
  // an error, when nothing was there. The name is free at once, even
  // while another program still holds the object open: POSIX unlinks it; on
  // Windows it is deleted with POSIX semantics or, where the system has none
  // (before Windows 10, Wine), first moved to a temporary name
  // `.aerolith-XXXXXXXX.tmp` in the same folder, which stays until the last
  // handle closes and, should the deletion fail, is an unlisted file for the
  // next start. Only the name goes, never a change to the object: POSIX's
  // unlinkat never touches a file's mode. On Windows a read-only file with one
  // link loses the attribute first where the system cannot delete it regardless;
  // one with more links (a hard link from outside) never does: it is then left
  // as it is, with std::errc::too_many_links.
  base::Result<bool> removeObject(const std::filesystem::path& name) const;

  // Removes the object and, for a real folder, everything in it, links as
  // links. Returns how many objects were removed: 0 when nothing was there.
  base::Result<std::uintmax_t> removeTree(const std::filesystem::path& name) const;

  // A new file, for writing. An error when anything is there.
  base::Result<OutputFile> createFile(const std::filesystem::path& name) const;

  // A new file of `size` bytes under a fresh temporary name in this folder,
  // mapped for writing, that takes its own name only once complete (see
  // StagedFile). The folder must stay open until it is committed or discarded.
  base::Result<StagedFile> createStagedFile(std::uint64_t size) const;

  // A file that is there, for reading; a link or anything but a file is an error.
  base::Result<InputFile> openFile(const std::filesystem::path& name) const;

  // A file that is there, opened to set its last-write time alone (for writing
  // attributes only, without sharing); a link is an error, and so is a file
  // with other hard links (std::errc::too_many_links), whose time is theirs too.
  base::Result<LastWriteTimeWriter> openForTimeStamp(const std::filesystem::path& name) const;

 private:
  struct Root;  // what every folder opened below the same folder shares
  Folder(OwnedHandle handle, std::filesystem::path path, std::shared_ptr<const Root> root)
      : handle_(std::move(handle)), path_(std::move(path)), root_(std::move(root)) {}

  OwnedHandle handle_;
  std::filesystem::path path_;
  std::shared_ptr<const Root> root_;
};

}  // namespace aerolith::sys
