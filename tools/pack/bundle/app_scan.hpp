// The files of an application folder in bundle order (ordinal UTF-16 order of
// their relative paths), each checked against what a bundle and a Windows file
// system can hold.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace aerolith::pack {

struct SourceFile {
  std::filesystem::path path;  // where to read it
  std::wstring directory;      // relative folder, components joined by '\'
  std::wstring name;
  std::uint64_t size = 0;
  std::uint64_t fileTime = 0;  // last-write time as FILETIME
};

struct AppFolder {
  std::vector<SourceFile> files;
  std::vector<std::wstring> notes;  // what is left out or looks unintended
};

// Symbolic links and junctions are followed while they stay inside the folder. Throws a
// Failure that lists every path the bundle cannot hold.
AppFolder scanAppFolder(const std::filesystem::path& appDir);

}  // namespace aerolith::pack
