// One manifest entry in memory: where its frame lies in the payload, where its
// file goes in the install directory, and, once extracted, its content.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "bundle/bundle_path.hpp"
#include "bundle/bundle_view.hpp"
#include "bundle/entry_result.hpp"
#include "diag/progress.hpp"

namespace aerolith::bundle {

// A plain record, made empty with std::make_shared and filled by parse; the
// files map and whoever works on the entry share it.
struct FileEntry {
  std::int32_t dataOffset = 0;                   // of the frame within the payload resource
  const std::uint8_t* compressedData = nullptr;  // into the payload; not owned
  std::int32_t compressedSize = 0;
  std::uint32_t compressedCrc32c = 0;
  std::int32_t index = 0;  // position in the manifest, from 0
  std::wstring directory;  // inside the install directory; empty at its top
  std::wstring name;
  BundlePath relativePath;            // directory joined with name; the files map's key
  std::vector<std::uint8_t> content;  // exactly `size` bytes once decompressed
  std::int32_t size = 0;
  std::uint32_t crc32c = 0;
  std::uint64_t fileTime = 0;  // FILETIME to stamp on the installed file

  // Reads the entry that starts at byte `cursor` of the view's manifest and
  // moves `cursor` past the fields read. Every field is bounds-checked before it
  // is read; nothing is read outside the manifest, and `compressedData` points
  // into the view's payload only when the frame lies inside it.
  [[nodiscard]] EntryResult parse(const BundleView& view, std::int32_t& cursor,
                                  std::int32_t entryIndex);

  // Fills `content` from the entry's frame after checking the frame's CRC;
  // checks the content's CRC. Notes `progress` every few MiB of work, from
  // whichever thread it runs on; neither logs nor shows anything.
  [[nodiscard]] EntryResult decompress(diag::Progress& progress);
};

using FilesMap = std::unordered_map<BundlePath, std::shared_ptr<FileEntry>>;

}  // namespace aerolith::bundle
