// The folder that 'extract' writes into. Every object in it is reached from an
// open folder without following a link, so no link inside it, planted or
// old, leads a write elsewhere; a link, or a file where a folder goes (or the
// reverse), is refused rather than replaced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "bundle/file_entry.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::pack {

class ExtractTarget {
 public:
  // Opens `dir`, creating it and the folders above it when missing. Throws a
  // Failure when it cannot, or when it holds anything and `replaceFiles` is
  // false.
  ExtractTarget(std::filesystem::path dir, bool replaceFiles);

  // Writes the entry's file with `content` and stamps its time, creating its
  // folders. An existing file is replaced only with `replaceFiles`. Throws a
  // Failure naming the path and the system's reason.
  void write(const bundle::FileEntry& entry, std::span<const std::uint8_t> content) const;

  const std::filesystem::path& path() const { return dir_; }

 private:
  const sys::Folder& enterFolders(const bundle::FileEntry& entry, std::filesystem::path& reached,
                                  sys::Folder& held) const;

  std::filesystem::path dir_;
  sys::Folder folder_;
  bool replaceFiles_;
};

}  // namespace aerolith::pack
