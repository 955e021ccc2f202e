// One manifest entry in memory: where its frame lies in the payload, where its
// file goes in the install directory, and, once extracted, its content.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "bundle/bundle_path.hpp"
#include "bundle/bundle_view.hpp"
#include "bundle/entry_result.hpp"
#include "diag/progress.hpp"

namespace aerolith::bundle {

// Entries larger than this are decoded straight into their file and never
// held: a run's memory would otherwise grow with its largest file, up to the
// 2 GiB an entry may hold. At this size the content held at once stays near
// 64 MiB (the entry in hand and the decoding read-ahead).
inline constexpr std::int32_t kStreamedSize = 32 * 1024 * 1024;

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
  EntryStatus parse(const BundleView& view, std::int32_t& cursor, std::int32_t entryIndex);

  // Fills `content` from the entry's frame after checking the frame's CRC;
  // checks the content's CRC. Notes `progress` every few MiB of work, from
  // whichever thread it runs on; neither logs nor shows anything.
  EntryStatus decompress(diag::Progress& progress);

  // Whether the entry is decoded into its file rather than into `content`.
  bool isStreamed() const { return size > kStreamedSize; }

  // What decompress checks before it decodes: the frame's CRC, and whether
  // its headers can yield `size` bytes at all.
  EntryStatus checkFrame(diag::Progress& progress) const;

  // Decodes the frame into `output` (exactly `size` bytes, a file's mapping
  // for a streamed entry) and checks the content's CRC, a piece at a time:
  // `decoded` is called with the size of each piece, a sign of life noted
  // as `progress` after it. `content` is left as it is.
  EntryStatus decodeInto(std::span<std::uint8_t> output, diag::Progress& progress,
                         const std::function<void(std::size_t)>& decoded = {}) const;
};

using FilesMap = std::unordered_map<BundlePath, std::shared_ptr<FileEntry>>;

}  // namespace aerolith::bundle
