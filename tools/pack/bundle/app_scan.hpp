// The files of an application folder in bundle order (ordinal UTF-16 order of
// their relative paths), each checked against what a bundle and a Windows file
// system can hold.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pack/bundle/path_filter.hpp"

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

struct ScanOptions {
  PathFilter filter{{}, std::nullopt};
  // Without it, a folder whose files hold no 'Aerolith.exe' at the top is
  // refused: a launcher carrying it would fail on every start.
  bool allowNoMainProgram = false;
};

// Symbolic links and junctions are followed while they stay inside the folder. Throws a
// Failure that lists every path the bundle cannot hold, and every listed path
// that the folder lacks.
AppFolder scanAppFolder(const std::filesystem::path& appDir, const ScanOptions& options = {});

}  // namespace aerolith::pack
