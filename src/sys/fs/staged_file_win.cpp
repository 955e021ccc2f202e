// The file is mapped as a section of its own: the pages written are the
// file's. Its size is set before it is mapped, which takes the space on NTFS;
// under Wine the file stays sparse until written (see reserve()).
#include <windows.h>

#include <algorithm>
#include <vector>

#include "sys/file/owned_handle_win.hpp"
#include "sys/fs/name_removal_win.hpp"
#include "sys/fs/staged_file.hpp"
#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {
namespace {

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Writes `size` zero bytes from the file's start, a MiB at a time.
base::Result<void> writeZeros(HANDLE file, std::uint64_t size,
                              const std::function<void()>& onPiece) {
  constexpr DWORD kPiece = 1 << 20;
  const std::vector<char> zeros(kPiece);
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return lastError();
  for (std::uint64_t done = 0; done < size;) {
    const auto piece = static_cast<DWORD>(std::min<std::uint64_t>(kPiece, size - done));
    DWORD written = 0;
    if (!::WriteFile(file, zeros.data(), piece, &written, nullptr)) return lastError();
    done += written;
    if (onPiece) onPiece();
  }
  return {};
}

}  // namespace

base::Result<void> StagedFile::map(std::uint64_t size) {
  const HANDLE file = nativeHandle(file_);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) {
    return lastError();
  }
  if (size == 0) return {};
  const HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
  if (mapping == nullptr) return lastError();
  mapping_ = ownHandle(mapping);
  view_ = static_cast<std::uint8_t*>(::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  if (view_ == nullptr) return lastError();
  size_ = size;
  return {};
}

// SetEndOfFile allocates on NTFS. Wine only sets the size and leaves the file
// sparse, with no call that allocates (FileAllocationInformation is not
// implemented), so a full disk would show as an access violation on a mapped
// page: there the space is taken by writing zeros, which fails with the
// disk's error instead. Wine reports the blocks taken as the allocation size.
base::Result<void> StagedFile::reserve(const std::function<void()>& onPiece) {
  const HANDLE file = nativeHandle(file_);
  // A file system that cannot tell gets the zeros too: they are sure to take it.
  FILE_STANDARD_INFO info{};
  if (::GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) &&
      static_cast<std::uint64_t>(info.AllocationSize.QuadPart) >= size_) {
    return {};
  }
  return writeZeros(file, size_, onPiece);
}

// Unlocking pages that are not locked takes them out of the working set; the
// call then reports ERROR_NOT_LOCKED, which is the point.
void StagedFile::release(std::size_t end) {
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  end = std::min(end, size_) / system.dwPageSize * system.dwPageSize;
  if (end <= released_) return;
  ::VirtualUnlock(view_ + released_, end - released_);
  released_ = end;
}

void StagedFile::unmap() {
  if (view_ != nullptr) ::UnmapViewOfFile(view_);
  static_cast<void>(mapping_.close());
  view_ = nullptr;
  size_ = 0;
  released_ = 0;
}

base::Result<void> StagedFile::takeName(const std::filesystem::path& name) {
  return moveName(nativeHandle(file_), handleOf(folder_), name, true);
}

void StagedFile::removeTemporary() {
  static_cast<void>(removeName(handleOf(folder_), nativeHandle(file_), name_));
}

}  // namespace aerolith::sys
