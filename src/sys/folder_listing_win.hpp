// What the Windows listing calls (FindFirstFileExW, FindNextFileW) report about
// folder entries, and how they tell links from folders: the system's
// std::filesystem does not recognise reparse points, so the Windows side of
// the platform layer lists folders itself.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sys/file_objects.hpp"

namespace aerolith::sys {

struct FolderEntry {
  std::wstring name;
  ObjectKind kind = ObjectKind::kFile;
};

// The kind of an object from its listing: a reparse point of the symbolic-link
// or mount-point (junction) kind is a link; other reparse points (compressed,
// deduplicated or cloud files) are what their attributes say.
ObjectKind kindOfListing(DWORD attributes, DWORD reparseTag);

// The entries of `folder`, without "." and "..", in listing order. When the
// folder cannot be opened or an entry cannot be read, `error` is set and the
// entries read before are returned.
std::vector<FolderEntry> listFolder(const std::filesystem::path& folder, std::error_code& error);

}  // namespace aerolith::sys
