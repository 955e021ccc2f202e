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
OwnedHandle openIn(HANDLE folder, const fs::path& name, ACCESS_MASK access, ULONG share,
                   ULONG disposition, ULONG options, std::error_code& error) {
  error.clear();
  ObjectName object(folder, name);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status = NtCreateFile(
      &handle, access | SYNCHRONIZE, &object.attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
      disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (!NT_SUCCESS(status)) {
    error = statusError(status);
    return {};
  }
  return ownHandle(handle);
}

struct Opened {
  DWORD attributes = 0;
  DWORD reparseTag = 0;

  ObjectKind kind() const { return kindOfListing(attributes, reparseTag); }
};

bool describe(HANDLE handle, Opened& opened, std::error_code& error) {
  FILE_ATTRIBUTE_TAG_INFO information{};
  if (!::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &information,
                                      sizeof information)) {
    error = lastErrorCode();
    return false;
  }
  opened = {information.FileAttributes, information.ReparseTag};
  return true;
}

std::uint32_t linksOf(HANDLE handle, std::error_code& error) {
  FILE_STANDARD_INFO information{};
  if (!::GetFileInformationByHandleEx(handle, FileStandardInfo, &information, sizeof information)) {
    error = lastErrorCode();
    return 0;
  }
  return information.NumberOfLinks;
}

std::error_code sharedFileError() { return std::make_error_code(std::errc::too_many_links); }

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

// Opens `name` and checks what was opened: a link (or, under Wine, anything
// that turns out to lie outside the root) is refused unless `linksAllowed`.
OwnedHandle openChecked(HANDLE folder, const std::wstring& root, const fs::path& name,
                        ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
                        Opened& opened, std::error_code& error) {
  OwnedHandle handle =
      openIn(folder, name, access | FILE_READ_ATTRIBUTES, share, disposition, options, error);
  if (!handle.isOpen() || !describe(nativeHandle(handle), opened, error)) return {};
  if (opened.kind() == ObjectKind::kLink || !insideRoot(nativeHandle(handle), root)) {
    error = reparsePointError();
    return {};
  }
  return handle;
}

bool setAttributes(HANDLE handle, DWORD attributes, std::error_code& error) {
  FILE_BASIC_INFO information{};  // zero times: left as they are
  information.FileAttributes = attributes;
  if (::SetFileInformationByHandle(handle, FileBasicInfo, &information, sizeof information)) {
    return true;
  }
  error = lastErrorCode();
  return false;
}

// Creates `name` in `folder` and checks where it was made. Wine opens a name
// and only then resolves the path it keeps for the handle; a folder swapped for
// a link in between passes for inside, and what is created in it lies outside.
// That creation fails and nothing is written through it. It is not undone:
// Wine deletes by the kept path, which may name another object by then.
OwnedHandle createInside(HANDLE folder, const std::wstring& root, const fs::path& name,
                         ACCESS_MASK access, ULONG share, ULONG options, std::error_code& error) {
  OwnedHandle handle = openIn(folder, name, access, share, FILE_CREATE, options, error);
  if (handle.isOpen() && !insideRoot(nativeHandle(handle), root)) {
    error = reparsePointError();
    return {};
  }
  return handle;
}

bool isTemporaryName(const fs::path& name) {
  const std::wstring& text = name.native();
  return text.starts_with(L".aerolith-") && text.ends_with(L".tmp");
}

// Calls `use` with fresh temporary names (`.aerolith-XXXXXXXX.tmp`) while the
// name it was given was taken; a few collisions in a row give up.
template <typename Use>
bool withTemporaryName(Use use, std::error_code& error) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (use(freshTemporaryName())) return true;
    if (error.value() != ERROR_FILE_EXISTS && error.value() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// Windows 7's headers lack the disposition class of Windows 10 1607 and its flags.
constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;

enum class Disposition { kSet, kRefused, kFailed };

// Refused: the system (or the file system) knows the class or a flag not.
Disposition setDisposition(SetFileInformation setInformation, HANDLE object, DWORD flags,
                           std::error_code& error) {
  DWORD information = flags;  // FILE_DISPOSITION_INFO_EX
  if (setInformation(object, kDispositionInfoEx, &information, sizeof information)) {
    return Disposition::kSet;
  }
  error = lastErrorCode();
  const bool refused = error.value() == ERROR_INVALID_PARAMETER ||
                       error.value() == ERROR_INVALID_FUNCTION ||
                       error.value() == ERROR_NOT_SUPPORTED;
  return refused ? Disposition::kRefused : Disposition::kFailed;
}

// Removes the link at `name` that Wine opened as its target, without touching
// the target: a new empty file is moved over the name, then removed.
bool replaceLink(HANDLE folder, const fs::path& name, std::error_code& error) {
  OwnedHandle file;
  withTemporaryName(
      [&](const fs::path& temporary) {
        file = openIn(folder, temporary, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0,
                      FILE_CREATE, FILE_NON_DIRECTORY_FILE, error);
        return file.isOpen();
      },
      error);
  if (!file.isOpen()) return false;
  if (moveName(nativeHandle(file), folder, name, true, error))
    return removeName(folder, nativeHandle(file), name, error);
  // The empty file under its temporary name goes too; `error` stays the move's.
  std::error_code ignored;
  static_cast<void>(removeName(folder, nativeHandle(file), name, ignored));
  return false;
}

}  // namespace

bool isTransientLock(const std::error_code& error) {
  return error.category() == std::system_category() &&
         (error.value() == ERROR_SHARING_VIOLATION || error.value() == ERROR_DELETE_PENDING);
}

bool moveName(HANDLE file, HANDLE folder, const fs::path& name, bool replace,
              std::error_code& error) {
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
  if (NT_SUCCESS(status)) return true;
  error = statusError(status);
  return false;
}

bool removeName(HANDLE folder, HANDLE object, const fs::path& name, std::error_code& error,
                SetFileInformation setInformation) {
  error.clear();
  const Disposition posix = setDisposition(
      setInformation, object,
      kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly, error);
  if (posix != Disposition::kRefused) return posix == Disposition::kSet;
  error.clear();
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  if (!::GetFileInformationByHandleEx(object, FileBasicInfo, &basic, sizeof basic) ||
      !::GetFileInformationByHandleEx(object, FileStandardInfo, &standard, sizeof standard)) {
    error = lastErrorCode();
    return false;
  }
  if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // The attribute belongs to the file, not the name: with more links than
    // this one, clearing it would change the file as its other names show it.
    if (!standard.Directory && standard.NumberOfLinks > 1) {
      const Disposition ignoring = setDisposition(
          setInformation, object, kDispositionDelete | kDispositionIgnoreReadOnly, error);
      if (ignoring != Disposition::kRefused) return ignoring == Disposition::kSet;
      // Refused (Wine): the name is still freed, as a file may be written
      // there, and the file stays under a temporary one, then left alone.
      if (isTemporaryName(name)) {
        error = std::make_error_code(std::errc::too_many_links);
        return false;
      }
      error.clear();
      return withTemporaryName(
          [&](const fs::path& temporary) {
            return moveName(object, folder, temporary, false, error);
          },
          error);
    }
    if (!setAttributes(object, basic.FileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY}, error)) {
      return false;
    }
  }
  // A deleted name stays, refusing every open, until the last handle closes:
  // so a file is deleted under a name of its own. An empty folder is seldom
  // held, and Wine cannot move one by its handle: it is deleted in place.
  if (!standard.Directory && !withTemporaryName(
                                 [&](const fs::path& temporary) {
                                   return moveName(object, folder, temporary, false, error);
                                 },
                                 error)) {
    return false;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (setInformation(object, FileDispositionInfo, &disposition, sizeof disposition)) return true;
  error = lastErrorCode();
  return false;
}

Folder Folder::open(const fs::path& path, std::error_code& error) {
  error.clear();
  OwnedHandle handle = ownHandle(::CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
      kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.isOpen()) {
    error = lastErrorCode();
    return {};
  }
  Opened opened;
  if (!describe(nativeHandle(handle), opened, error)) return {};
  if ((opened.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    error.assign(ERROR_DIRECTORY, std::system_category());
    return {};
  }
  auto root = std::make_shared<Root>();
  root->finalPath = finalPathOf(nativeHandle(handle));
  return Folder(std::move(handle), path, std::move(root));
}

fs::path Folder::finalPath(std::error_code& error) const {
  error.clear();
  std::wstring path = finalPathOf(nativeHandle(handle_));
  if (path.empty()) error = lastErrorCode();
  return fs::path(std::move(path));
}

// The listing carries every entry's status: `detail` asks for nothing more.
std::vector<FolderEntry> Folder::list(std::error_code& error, ListDetail) const {
  error.clear();
  std::vector<FolderEntry> entries;
  alignas(LONGLONG) std::array<std::byte, 64 * 1024> buffer;
  for (auto informationClass = FileIdBothDirectoryRestartInfo;;
       informationClass = FileIdBothDirectoryInfo) {
    if (!::GetFileInformationByHandleEx(nativeHandle(handle_), informationClass, buffer.data(),
                                        buffer.size())) {
      error = lastErrorCode();
      if (error.value() == ERROR_NO_MORE_FILES) error.clear();
      return entries;
    }
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
      const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        // For a reparse point the listing holds its tag where the EA size would be.
        const ObjectKind kind = kindOfListing(entry->FileAttributes, entry->EaSize);
        FolderEntry& added = entries.emplace_back(
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
std::vector<fs::path> Folder::names(std::error_code& error) const {
  error.clear();
  std::vector<fs::path> names;
  alignas(LONGLONG) std::array<std::byte, 64 * 1024> buffer;
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        NtQueryDirectoryFile(nativeHandle(handle_), nullptr, nullptr, nullptr, &io, buffer.data(),
                             buffer.size(), FileNamesInformation, FALSE, nullptr, restart);
    if (status == kStatusNoMoreFiles) return names;
    if (!NT_SUCCESS(status)) {
      error = statusError(status);
      return names;
    }
    for (std::size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_NAMES_INFORMATION*>(buffer.data() + offset);
      const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") names.emplace_back(name);
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

Folder Folder::openFolder(const fs::path& name, std::error_code& error) const {
  Opened opened;
  OwnedHandle handle = openChecked(nativeHandle(handle_), root_->finalPath, name,
                                   FILE_LIST_DIRECTORY | FILE_TRAVERSE, kShareAll, FILE_OPEN,
                                   FILE_DIRECTORY_FILE, opened, error);
  if (!handle.isOpen()) return {};
  return Folder(std::move(handle), path_ / name, root_);
}

Folder Folder::openTopFolder(const fs::path& name, std::error_code& error) const {
  Folder folder = openFolder(name, error);
  if (!folder.isOpen()) return folder;
  auto root = std::make_shared<Root>();
  root->finalPath = finalPathOf(nativeHandle(folder.handle_));
  folder.root_ = std::move(root);
  return folder;
}

Folder Folder::createFolder(const fs::path& name, std::error_code& error) const {
  OwnedHandle handle = createInside(nativeHandle(handle_), root_->finalPath, name,
                                    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                    kShareAll, FILE_DIRECTORY_FILE, error);
  if (!handle.isOpen()) return {};
  return Folder(std::move(handle), path_ / name, root_);
}

// Under Wine a link is opened as its target: one that lies outside is a link.
ObjectKind Folder::kindOf(const fs::path& name, std::error_code& error) const {
  OwnedHandle handle =
      openIn(nativeHandle(handle_), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, error);
  if (!handle.isOpen()) {
    if (isNotFound(error)) error.clear();
    return ObjectKind::kMissing;
  }
  Opened opened;
  if (!describe(nativeHandle(handle), opened, error)) return ObjectKind::kMissing;
  if (!insideRoot(nativeHandle(handle), root_->finalPath)) return ObjectKind::kLink;
  return opened.kind();
}

void Folder::setNormalAttributes(const fs::path& name, std::error_code& error) const {
  Opened opened;
  OwnedHandle handle = openChecked(nativeHandle(handle_), root_->finalPath, name,
                                   FILE_WRITE_ATTRIBUTES, kShareAll, FILE_OPEN, 0, opened, error);
  if (!handle.isOpen() || (opened.attributes & kResetAttributes) == 0) return;
  if ((opened.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const std::uint32_t links = linksOf(nativeHandle(handle), error);
    if (error) return;
    if (links > 1) {
      error = sharedFileError();
      return;
    }
  }
  const DWORD kept = opened.attributes & FILE_ATTRIBUTE_ARCHIVE;
  setAttributes(nativeHandle(handle), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, error);
}

FileStamp Folder::readStamp(const fs::path& name, std::error_code& error) const {
  OwnedHandle handle =
      openIn(nativeHandle(handle_), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, error);
  BY_HANDLE_FILE_INFORMATION information{};
  if (!handle.isOpen()) return {};
  if (!::GetFileInformationByHandle(nativeHandle(handle), &information)) {
    error = lastErrorCode();
    return {};
  }
  return {(std::uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32) |
              information.ftLastWriteTime.dwLowDateTime,
          (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow};
}

std::uint32_t Folder::linkCount(const fs::path& name, std::error_code& error) const {
  OwnedHandle handle =
      openIn(nativeHandle(handle_), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, error);
  return handle.isOpen() ? linksOf(nativeHandle(handle), error) : 0;
}

bool Folder::removeObject(const fs::path& name, std::error_code& error) const {
  OwnedHandle handle =
      openIn(nativeHandle(handle_), name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
             kShareAll, FILE_OPEN, 0, error);
  if (!handle.isOpen()) {
    if (isNotFound(error)) error.clear();
    return false;
  }
  Opened opened;
  if (!describe(nativeHandle(handle), opened, error)) return false;
  if (!insideRoot(nativeHandle(handle), root_->finalPath)) {
    handle = OwnedHandle();
    if ((opened.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      error = reparsePointError();  // a link to a folder that Wine cannot remove as itself
      return false;
    }
    return replaceLink(nativeHandle(handle_), name, error);
  }
  return removeName(nativeHandle(handle_), nativeHandle(handle), name, error);
}

std::uintmax_t Folder::removeTree(const fs::path& name, std::error_code& error) const {
  if (kindOf(name, error) != ObjectKind::kDirectory) {
    if (error) return 0;
    return removeObject(name, error) ? 1 : 0;
  }
  std::uintmax_t removed = 0;
  {
    const Folder inside = openFolder(name, error);
    if (!inside.isOpen()) return 0;
    for (const FolderEntry& entry : inside.list(error)) {
      if (error) return removed;
      removed += inside.removeTree(entry.name, error);
      if (error) return removed;
    }
    if (error) return removed;
  }
  if (removeObject(name, error)) ++removed;
  return removed;
}

OutputFile Folder::createFile(const fs::path& name, std::error_code& error) const {
  OwnedHandle handle = createInside(nativeHandle(handle_), root_->finalPath, name, GENERIC_WRITE,
                                    FILE_SHARE_READ, FILE_NON_DIRECTORY_FILE, error);
  if (!handle.isOpen()) return {};
  return OutputFile(std::move(handle));
}

// Made inside the folder and checked as every creation is; DELETE for the
// move over its name, or its removal.
StagedFile Folder::createStagedFile(std::uint64_t size, std::error_code& error) const {
  OwnedHandle file;
  fs::path name;
  withTemporaryName(
      [&](const fs::path& temporary) {
        name = temporary;
        file = createInside(nativeHandle(handle_), root_->finalPath, temporary,
                            GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                            FILE_NON_DIRECTORY_FILE, error);
        return file.isOpen();
      },
      error);
  if (!file.isOpen()) return {};
  StagedFile staged(handle_.get(), std::move(file), std::move(name));
  if (!staged.map(size, error)) return {};  // and the file goes with it
  return staged;
}

InputFile Folder::openFile(const fs::path& name, std::error_code& error) const {
  Opened opened;
  OwnedHandle handle = openChecked(nativeHandle(handle_), root_->finalPath, name, GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                                   FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, opened, error);
  if (!handle.isOpen()) return {};
  return InputFile(std::move(handle));
}

LastWriteTimeWriter Folder::openForTimeStamp(const fs::path& name, std::error_code& error) const {
  Opened opened;
  OwnedHandle handle =
      openChecked(nativeHandle(handle_), root_->finalPath, name, FILE_WRITE_ATTRIBUTES, 0,
                  FILE_OPEN, FILE_NON_DIRECTORY_FILE, opened, error);
  if (!handle.isOpen()) return {};
  const std::uint32_t links = linksOf(nativeHandle(handle), error);
  if (error) return {};
  if (links > 1) {
    error = sharedFileError();
    return {};
  }
  return LastWriteTimeWriter(std::move(handle));
}

}  // namespace aerolith::sys
