// Objects are opened relative to an open folder handle (NtCreateFile with a
// root directory) with FILE_OPEN_REPARSE_POINT, so that a symbolic link or
// junction is opened as itself, and checked on the handle before anything is
// done through it.
//
// Wine resolves a Unix symbolic link even when asked not to, and reports a link
// to a file as that file. Every handle that a change goes through is therefore
// also checked to lie inside the folder first opened (its final path): an
// object that does not is a link whatever it says, and is never changed. Such a
// link to a file is removed by moving a new empty file over its name, which
// replaces the link itself. What is created is checked the same way.
#include "sys/fs/folder.hpp"

#include <windows.h>
#include <winternl.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "sys/file/owned_handle_win.hpp"
#include "sys/fs/name_removal_win.hpp"
#include "sys/fs/temporary_name.hpp"
#include "sys/internal/last_error_win.hpp"

// Exported by ntdll; the SDK headers at hand declare it for drivers only.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE folder, HANDLE event, PIO_APC_ROUTINE apc,
                                               PVOID context, PIO_STATUS_BLOCK io, PVOID buffer,
                                               ULONG length, FILE_INFORMATION_CLASS kind,
                                               BOOLEAN single, PUNICODE_STRING mask,
                                               BOOLEAN restart);

namespace aerolith::sys {
namespace fs = std::filesystem;

struct Folder::Root {
  // Where the first folder really is; empty when the system cannot say.
  std::wstring finalPath;
};

namespace {

// "The object manager encountered a reparse point while retrieving an object."
constexpr int kReparsePointEncountered = 4395;

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The system maps a delete-pending name to "access denied"; it is kept apart
// here, as a hold that passes.
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);

std::error_code statusError(NTSTATUS status) {
  if (status == kStatusDeletePending) return {ERROR_DELETE_PENDING, std::system_category()};
  return {static_cast<int>(RtlNtStatusToDosError(status)), std::system_category()};
}

std::error_code reparsePointError() { return {kReparsePointEncountered, std::system_category()}; }

// Wine reports a Unix symbolic link to a folder as a reparse point without a tag.
constexpr DWORD kUntaggedReparsePoint = 0;

// A reparse point of the symbolic-link or mount-point (junction) kind is a
// link; other reparse points (compressed, deduplicated or cloud files) are what
// their attributes say.
ObjectKind kindOfListing(DWORD attributes, DWORD reparseTag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (reparseTag == IO_REPARSE_TAG_SYMLINK || reparseTag == IO_REPARSE_TAG_MOUNT_POINT ||
       reparseTag == kUntaggedReparsePoint)) {
    return ObjectKind::kLink;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ObjectKind::kDirectory : ObjectKind::kFile;
}

// What a reset of the attributes clears: all that SetFileAttributesW can set
// but the archive attribute, which marks a file for the next backup.
constexpr DWORD kResetAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY |
                                   FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool isNotFound(const std::error_code& error) {
  return error.value() == ERROR_FILE_NOT_FOUND || error.value() == ERROR_PATH_NOT_FOUND;
}

// The name of an object inside `folder`, for the native calls. Views `name`.
struct ObjectName {
  ObjectName(HANDLE folder, const fs::path& name) {
    const std::wstring& text = name.native();
    const auto bytes = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    unicode = {bytes, bytes, const_cast<wchar_t*>(text.c_str())};
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, folder, nullptr);
  }
  ObjectName(const ObjectName&) = delete;
  ObjectName& operator=(const ObjectName&) = delete;

  UNICODE_STRING unicode;
  OBJECT_ATTRIBUTES attributes;
};

// Opens `name` inside `folder`; a link as itself.
base::Result<OwnedHandle> openIn(HANDLE folder, const fs::path& name, ACCESS_MASK access,
                                 ULONG share, ULONG disposition, ULONG options) {
  ObjectName object(folder, name);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status = NtCreateFile(
      &handle, access | SYNCHRONIZE, &object.attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
      disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (!NT_SUCCESS(status)) return base::fail(statusError(status));
  return ownHandle(handle);
}

struct Opened {
  DWORD attributes = 0;
  DWORD reparseTag = 0;

  ObjectKind kind() const { return kindOfListing(attributes, reparseTag); }
};

base::Result<Opened> describe(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO information{};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &information,
                                      sizeof information)) {
    return lastError();
  }
  return Opened{information.FileAttributes, information.ReparseTag};
}

base::Result<std::uint32_t> linksOf(HANDLE handle) {
  FILE_STANDARD_INFO information{};
  if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &information, sizeof information)) {
    return lastError();
  }
  return std::uint32_t{information.NumberOfLinks};
}

base::Failure<std::error_code> sharedFile() {
  return base::fail(std::make_error_code(std::errc::too_many_links));
}

base::Failure<std::error_code> reparsePoint() { return base::fail(reparsePointError()); }

// Without a trailing separator, which only a drive's root folder has.
std::wstring finalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      if (path.ends_with(L'\\')) path.pop_back();
      return path;
    }
    path.resize(length);
  }
}

// Whether the object behind `handle` lies below the first folder opened.
bool insideRoot(HANDLE handle, const std::wstring& root) {
  if (root.empty()) return true;  // nothing to hold it to: the open flags alone count
  const std::wstring path = finalPathOf(handle);
  return path.size() > root.size() + 1 && path[root.size()] == L'\\' &&
         ::CompareStringOrdinal(path.c_str(), static_cast<int>(root.size()), root.c_str(),
                                static_cast<int>(root.size()), TRUE) == CSTR_EQUAL;
}

struct CheckedHandle {
  OwnedHandle handle;
  Opened opened;
};

// Opens `name` and checks what was opened: a link (or, under Wine, anything
// that turns out to lie outside the root) is refused.
base::Result<CheckedHandle> openChecked(HANDLE folder, const std::wstring& root,
                                        const fs::path& name, ACCESS_MASK access, ULONG share,
                                        ULONG disposition, ULONG options) {
  base::Result<OwnedHandle> handle =
      openIn(folder, name, access | FILE_READ_ATTRIBUTES, share, disposition, options);
  if (!handle) return base::fail(handle.error());
  const base::Result<Opened> opened = describe(nativeHandle(*handle));
  if (!opened) return base::fail(opened.error());
  if (opened->kind() == ObjectKind::kLink || !insideRoot(nativeHandle(*handle), root)) {
    return reparsePoint();
  }
  return CheckedHandle{std::move(*handle), *opened};
}

base::Result<void> setAttributes(HANDLE handle, DWORD attributes) {
  FILE_BASIC_INFO information{};  // zero times: left as they are
  information.FileAttributes = attributes;
  if (::SetFileInformationByHandle(handle, FileBasicInfo, &information, sizeof information)) {
    return {};
  }
  return lastError();
}

// Creates `name` in `folder` and checks where it was made. Wine opens a name
// and only then resolves the path it keeps for the handle; a folder swapped for
// a link in between passes for inside, and what is created in it lies outside.
// That creation fails and nothing is written through it. It is not undone:
// Wine deletes by the kept path, which may name another object by then.
base::Result<OwnedHandle> createInside(HANDLE folder, const std::wstring& root,
                                       const fs::path& name, ACCESS_MASK access, ULONG share,
                                       ULONG options) {
  base::Result<OwnedHandle> handle = openIn(folder, name, access, share, FILE_CREATE, options);
  if (handle && !insideRoot(nativeHandle(*handle), root)) return reparsePoint();
  return handle;
}

bool isTemporaryName(const fs::path& name) {
  const std::wstring& text = name.native();
  return text.starts_with(L".aerolith-") && text.ends_with(L".tmp");
}

// Calls `use` with fresh temporary names (`.aerolith-XXXXXXXX.tmp`) while the
// name it was given was taken; a few collisions in a row give up. Returns
// what the last call returned.
template <typename Use>
auto withTemporaryName(Use use) {
  auto result = use(freshTemporaryName());
  for (int attempt = 1; attempt < 8 && !result; ++attempt) {
    const int error = result.error().value();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    result = use(freshTemporaryName());
  }
  return result;
}

// Windows 7's headers lack the disposition class of Windows 10 1607 and its flags.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;

// True when set; false when refused: the system (or the file system) knows
// the class or a flag not.
base::Result<bool> setDisposition(SetFileInformation setInformation, HANDLE object, DWORD flags) {
  DWORD information = flags;  // FILE_DISPOSITION_INFO_EX
  if (setInformation(object, kDispositionInfoEx, &information, sizeof information)) return true;
  const std::error_code error = lastErrorCode();
  const bool refused = error.value() == ERROR_INVALID_PARAMETER ||
                       error.value() == ERROR_INVALID_FUNCTION ||
                       error.value() == ERROR_NOT_SUPPORTED;
  if (refused) return false;
  return base::fail(error);
}

// Moves `object` out of the way under a temporary name in `folder`.
base::Result<void> moveAside(HANDLE object, HANDLE folder) {
  return withTemporaryName(
      [&](const fs::path& temporary) { return moveName(object, folder, temporary, false); });
}

// Removes the link at `name` that Wine opened as its target, without touching
// the target: a new empty file is moved over the name, then removed.
base::Result<void> replaceLink(HANDLE folder, const fs::path& name) {
  const base::Result<OwnedHandle> file = withTemporaryName([&](const fs::path& temporary) {
    return openIn(folder, temporary, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, FILE_CREATE,
                  FILE_NON_DIRECTORY_FILE);
  });
  if (!file) return base::fail(file.error());
  const base::Result<void> moved = moveName(nativeHandle(*file), folder, name, true);
  // The empty file goes either way, from under the name or its temporary one;
  // a failed move is what is reported.
  const base::Result<void> removed = removeName(folder, nativeHandle(*file), name);
  return moved ? removed : moved;
}

}  // namespace

bool isTransientLock(const std::error_code& error) {
  return error.category() == std::system_category() &&
         (error.value() == ERROR_SHARING_VIOLATION || error.value() == ERROR_DELETE_PENDING);
}

base::Result<void> moveName(HANDLE file, HANDLE folder, const fs::path& name, bool replace) {
  const std::wstring& text = name.native();
  std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFORMATION) + text.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = folder;
  rename->FileNameLength = static_cast<ULONG>(text.size() * sizeof(wchar_t));
  std::copy(text.begin(), text.end(), rename->FileName);
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = NtSetInformationFile(file, &io, rename, static_cast<ULONG>(buffer.size()),
                                               FileRenameInformation);
  if (NT_SUCCESS(status)) return {};
  return base::fail(statusError(status));
}

base::Result<void> removeName(HANDLE folder, HANDLE object, const fs::path& name,
                              SetFileInformation setInformation) {
  const base::Result<bool> posix =
      setDisposition(setInformation, object,
                     kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly);
  if (!posix) return base::fail(posix.error());
  if (*posix) return {};
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  if (!::GetFileInformationByHandleEx(object, FileBasicInfo, &basic, sizeof basic) ||
      !::GetFileInformationByHandleEx(object, FileStandardInfo, &standard, sizeof standard)) {
    return lastError();
  }
  if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // The attribute belongs to the file, not the name: with more links than
    // this one, clearing it would change the file as its other names show it.
    if (!standard.Directory && standard.NumberOfLinks > 1) {
      const base::Result<bool> ignoring =
          setDisposition(setInformation, object, kDispositionDelete | kDispositionIgnoreReadOnly);
      if (!ignoring) return base::fail(ignoring.error());
      if (*ignoring) return {};
      // Refused (Wine): the name is still freed, as a file may be written
      // there, and the file stays under a temporary one, then left alone.
      if (isTemporaryName(name)) return sharedFile();
      return moveAside(object, folder);
    }
    const base::Result<void> cleared =
        setAttributes(object, basic.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (!cleared) return cleared;
  }
  // A deleted name stays, refusing every open, until the last handle closes:
  // so a file is deleted under a name of its own. An empty folder is seldom
  // held, and Wine cannot move one by its handle: it is deleted in place.
  if (!standard.Directory) {
    const base::Result<void> moved = moveAside(object, folder);
    if (!moved) return moved;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (setInformation(object, FileDispositionInfo, &disposition, sizeof disposition)) return {};
  return lastError();
}

base::Result<Folder> Folder::open(const fs::path& path) {
  OwnedHandle handle = ownHandle(::CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.isOpen()) return lastError();
  const base::Result<Opened> opened = describe(nativeHandle(handle));
  if (!opened) return base::fail(opened.error());
  if ((opened->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return base::fail(std::error_code(ERROR_DIRECTORY, std::system_category()));
  }
  auto root = std::make_shared<Root>();
  root->finalPath = finalPathOf(nativeHandle(handle));
  return Folder(std::move(handle), path, std::move(root));
}

base::Result<fs::path> Folder::finalPath() const {
  std::wstring path = finalPathOf(nativeHandle(handle_));
  if (path.empty()) return lastError();
  return fs::path(std::move(path));
}

// The listing carries every entry's status: `detail` asks for nothing more.
Listing<FolderEntry> Folder::list(ListDetail) const {
  Listing<FolderEntry> listing;
  alignas(LONGLONG) std::array<std::byte, 64 * 1024> buffer;
  for (auto informationClass = FileIdBothDirectoryRestartInfo;;
       informationClass = FileIdBothDirectoryInfo) {
    if (!::GetFileInformationByHandleEx(nativeHandle(handle_), informationClass, buffer.data(),
                                        buffer.size())) {
      const std::error_code error = lastErrorCode();
      if (error.value() != ERROR_NO_MORE_FILES) listing.endedEarly = error;
      return listing;
    }
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
      const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        // For a reparse point the listing holds its tag where the EA size would be.
        const ObjectKind kind = kindOfListing(entry->FileAttributes, entry->EaSize);
        FolderEntry& added = listing.entries.emplace_back(
            FolderEntry{fs::path(name), kind, {}, (entry->FileAttributes & kResetAttributes) == 0});
        if (kind == ObjectKind::kFile) {
          added.stamp = FileStamp{static_cast<std::uint64_t>(entry->LastWriteTime.QuadPart),
                                  static_cast<std::uint64_t>(entry->EndOfFile.QuadPart)};
        }
      }
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

// The names class needs no status of any entry: under Wine that spares a stat
// of each.
constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
Listing<fs::path> Folder::names() const {
  Listing<fs::path> listing;
  alignas(LONGLONG) std::array<std::byte, 64 * 1024> buffer;
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        NtQueryDirectoryFile(nativeHandle(handle_), nullptr, nullptr, nullptr, &io, buffer.data(),
                             buffer.size(), FileNamesInformation, FALSE, nullptr, restart);
    if (status == kStatusNoMoreFiles) return listing;
    if (!NT_SUCCESS(status)) {
      listing.endedEarly = statusError(status);
      return listing;
    }
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_NAMES_INFORMATION*>(buffer.data() + offset);
      const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") listing.entries.emplace_back(name);
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

base::Result<Folder> Folder::openFolder(const fs::path& name) const {
  base::Result<CheckedHandle> opened =
      openChecked(nativeHandle(handle_), root_->finalPath, name,
                  FILE_LIST_DIRECTORY | FILE_TRAVERSE, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE);
  if (!opened) return base::fail(opened.error());
  return Folder(std::move(opened->handle), path_ / name, root_);
}

base::Result<Folder> Folder::openTopFolder(const fs::path& name) const {
  base::Result<Folder> folder = openFolder(name);
  if (!folder) return folder;
  auto root = std::make_shared<Root>();
  root->finalPath = finalPathOf(nativeHandle(folder->handle_));
  folder->root_ = std::move(root);
  return folder;
}

base::Result<Folder> Folder::createFolder(const fs::path& name) const {
  base::Result<OwnedHandle> handle = createInside(
      nativeHandle(handle_), root_->finalPath, name,
      FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES, kShareAll, FILE_DIRECTORY_FILE);
  if (!handle) return base::fail(handle.error());
  return Folder(std::move(*handle), path_ / name, root_);
}

// Under Wine a link is opened as its target: one that lies outside is a link.
base::Result<ObjectKind> Folder::kindOf(const fs::path& name) const {
  const base::Result<OwnedHandle> handle =
      openIn(nativeHandle(handle_), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0);
  if (!handle) {
    if (isNotFound(handle.error())) return ObjectKind::kMissing;
    return base::fail(handle.error());
  }
  const base::Result<Opened> opened = describe(nativeHandle(*handle));
  if (!opened) return base::fail(opened.error());
  if (!insideRoot(nativeHandle(*handle), root_->finalPath)) return ObjectKind::kLink;
  return opened->kind();
}

base::Result<void> Folder::setNormalAttributes(const fs::path& name) const {
  const base::Result<CheckedHandle> object =
      openChecked(nativeHandle(handle_), root_->finalPath, name, FILE_WRITE_ATTRIBUTES, kShareAll,
                  FILE_OPEN, 0);
  if (!object) return base::fail(object.error());
  const DWORD attributes = object->opened.attributes;
  if ((attributes & kResetAttributes) == 0) return {};
  const HANDLE handle = nativeHandle(object->handle);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const base::Result<std::uint32_t> links = linksOf(handle);
    if (!links) return base::fail(links.error());
    if (*links > 1) return sharedFile();
  }
  const DWORD kept = attributes & FILE_ATTRIBUTE_ARCHIVE;
  return setAttributes(handle, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
}

base::Result<FileStamp> Folder::readStamp(const fs::path& name) const {
  const base::Result<OwnedHandle> handle =
      openIn(nativeHandle(handle_), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0);
  if (!handle) return base::fail(handle.error());
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(nativeHandle(*handle), &information)) return lastError();
  return FileStamp{(std::uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32) |
                       information.ftLastWriteTime.dwLowDateTime,
                   (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow};
}

base::Result<std::uint32_t> Folder::linkCount(const fs::path& name) const {
  const base::Result<OwnedHandle> handle =
      openIn(nativeHandle(handle_), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0);
  if (!handle) return base::fail(handle.error());
  return linksOf(nativeHandle(*handle));
}

base::Result<bool> Folder::removeObject(const fs::path& name) const {
  base::Result<OwnedHandle> handle =
      openIn(nativeHandle(handle_), name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
             kShareAll, FILE_OPEN, 0);
  if (!handle) {
    if (isNotFound(handle.error())) return false;
    return base::fail(handle.error());
  }
  const base::Result<Opened> opened = describe(nativeHandle(*handle));
  if (!opened) return base::fail(opened.error());
  base::Result<void> removed;
  if (insideRoot(nativeHandle(*handle), root_->finalPath)) {
    removed = removeName(nativeHandle(handle_), nativeHandle(*handle), name);
  } else {
    *handle = OwnedHandle();
    if ((opened->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return reparsePoint();  // a link to a folder that Wine cannot remove as itself
    }
    removed = replaceLink(nativeHandle(handle_), name);
  }
  if (!removed) return base::fail(removed.error());
  return true;
}

base::Result<std::uintmax_t> Folder::removeTree(const fs::path& name) const {
  const base::Result<ObjectKind> kind = kindOf(name);
  if (!kind) return base::fail(kind.error());
  std::uintmax_t removed = 0;
  if (*kind == ObjectKind::kDirectory) {
    const base::Result<Folder> inside = openFolder(name);
    if (!inside) return base::fail(inside.error());
    const Listing<FolderEntry> listing = inside->list();
    if (listing.endedEarly) return base::fail(listing.endedEarly);
    for (const FolderEntry& entry : listing.entries) {
      const base::Result<std::uintmax_t> below = inside->removeTree(entry.name);
      if (!below) return below;
      removed += *below;
    }
  }  // the folder is closed before it is removed
  const base::Result<bool> gone = removeObject(name);
  if (!gone) return base::fail(gone.error());
  return removed + (*gone ? 1 : 0);
}

base::Result<OutputFile> Folder::createFile(const fs::path& name) const {
  base::Result<OwnedHandle> handle =
      createInside(nativeHandle(handle_), root_->finalPath, name, GENERIC_WRITE, FILE_SHARE_READ,
                   FILE_NON_DIRECTORY_FILE);
  if (!handle) return base::fail(handle.error());
  return OutputFile(std::move(*handle));
}

// Made inside the folder and checked as every creation is; DELETE for the
// move over its name, or its removal.
base::Result<StagedFile> Folder::createStagedFile(std::uint64_t size) const {
  fs::path name;
  base::Result<OwnedHandle> file = withTemporaryName([&](const fs::path& temporary) {
    name = temporary;
    return createInside(nativeHandle(handle_), root_->finalPath, temporary,
                        GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                        FILE_NON_DIRECTORY_FILE);
  });
  if (!file) return base::fail(file.error());
  StagedFile staged(handle_.get(), std::move(*file), std::move(name));
  const base::Result<void> mapped = staged.map(size);
  if (!mapped) return base::fail(mapped.error());  // and the file goes with it
  return staged;
}

base::Result<InputFile> Folder::openFile(const fs::path& name) const {
  base::Result<CheckedHandle> file =
      openChecked(nativeHandle(handle_), root_->finalPath, name, GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                  FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY);
  if (!file) return base::fail(file.error());
  return InputFile(std::move(file->handle));
}

base::Result<LastWriteTimeWriter> Folder::openForTimeStamp(const fs::path& name) const {
  base::Result<CheckedHandle> file =
      openChecked(nativeHandle(handle_), root_->finalPath, name, FILE_WRITE_ATTRIBUTES, 0,
                  FILE_OPEN, FILE_NON_DIRECTORY_FILE);
  if (!file) return base::fail(file.error());
  const base::Result<std::uint32_t> links = linksOf(nativeHandle(file->handle));
  if (!links) return base::fail(links.error());
  if (*links > 1) return sharedFile();
  return LastWriteTimeWriter(std::move(file->handle));
}

}  // namespace aerolith::sys
