#include "bundle/file_entry.hpp"

#include <algorithm>
#include <span>

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_decompressBound
#include <zstd.h>

#include "base/byte_order.hpp"
#include "bundle/format.hpp"
#include "bundle/frame_decoder.hpp"
#include "bundle/safe_path.hpp"
#include "crc32c/crc32c.hpp"
#include "diag/progress.hpp"
#include "text/utf16.hpp"

namespace aerolith::bundle {
namespace {

// Reads fields of the manifest at a cursor that only moves past fields that fit.
// Positions are compared as 64-bit numbers, so no sum overflows.
class FieldReader {
 public:
  FieldReader(std::span<const std::uint8_t> manifest, std::int32_t& cursor)
      : manifest_(manifest), cursor_(cursor) {}

  bool read(std::uint32_t& value) {
    if (!fits(4)) return false;
    value = base::loadLe32(take(4));
    return true;
  }

  bool read(std::uint64_t& value) {
    if (!fits(8)) return false;
    value = base::loadLe64(take(8));
    return true;
  }

  // A length, size or offset: written unsigned but read signed, so a value of
  // 2^31 or more is refused here, before anything uses it.
  bool readLength(std::int32_t& value) {
    std::uint32_t raw = 0;
    if (!read(raw) || raw >= format::kFieldLimit) return false;
    value = static_cast<std::int32_t>(raw);
    return true;
  }

  // `length` bytes of UTF-16LE text, cut at the first zero unit; an odd last
  // byte is skipped.
  bool readText(std::int32_t length, std::wstring& text) {
    if (!fits(length)) return false;
    text = text::fromUtf16Le({take(length), static_cast<std::size_t>(length)});
    text.erase(std::find(text.begin(), text.end(), L'\0'), text.end());
    return true;
  }

 private:
  bool fits(std::int64_t width) const {
    return cursor_ >= 0 && std::int64_t{cursor_} + width <= std::int64_t(manifest_.size());
  }
  const std::uint8_t* take(std::int32_t width) {
    const std::uint8_t* field = manifest_.data() + cursor_;
    cursor_ += width;
    return field;
  }

  std::span<const std::uint8_t> manifest_;
  std::int32_t& cursor_;
};

// Zeroing a gigabyte, with the page faults that come with it, is itself
// seconds on a slow machine: the buffer is allocated once and filled in pieces.
void resizeInPieces(std::vector<std::uint8_t>& buffer, std::size_t size, diag::Progress& progress) {
  buffer.clear();
  buffer.reserve(size);
  while (buffer.size() < size) {
    buffer.resize(std::min(size, buffer.size() + kDecodePiece));
    progress.note();
  }
}

}  // namespace

EntryStatus FileEntry::parse(const BundleView& view, std::int32_t& cursor,
                             std::int32_t entryIndex) {
  FieldReader in(view.manifest(), cursor);
  index = entryIndex;

  std::int32_t directoryLength = 0;
  if (!in.readLength(directoryLength)) return base::fail(EntryResult::kBadDirectoryLength);
  if (directoryLength > 0) {
    if (!in.readText(directoryLength, directory)) return base::fail(EntryResult::kDirectoryPastEnd);
  }
  std::int32_t nameLength = 0;
  if (!in.readLength(nameLength)) return base::fail(EntryResult::kBadNameLength);
  if (nameLength == 0) return base::fail(EntryResult::kEmptyName);
  if (!in.readText(nameLength, name)) return base::fail(EntryResult::kNamePastEnd);
  relativePath = BundlePath::join(directory, name);
  if (!isSafeEntryPath(directory, name)) return base::fail(EntryResult::kUnsafePath);

  std::int32_t offset = 0;
  if (!in.readLength(size)) return base::fail(EntryResult::kBadSize);
  if (!in.read(crc32c)) return base::fail(EntryResult::kContentCrcPastEnd);
  if (!in.readLength(compressedSize)) return base::fail(EntryResult::kBadCompressedSize);
  if (!in.read(compressedCrc32c)) return base::fail(EntryResult::kCompressedCrcPastEnd);
  if (!in.readLength(offset)) return base::fail(EntryResult::kBadOffset);
  if (!in.read(fileTime)) return base::fail(EntryResult::kFileTimePastEnd);

  // Tested before the pointer is formed, so that it never points past the payload.
  const std::int64_t frameStart = std::int64_t{offset} + format::kFramesOffset;
  if (frameStart + compressedSize > view.payloadSize)
    return base::fail(EntryResult::kFramePastPayload);
  dataOffset = static_cast<std::int32_t>(frameStart);
  compressedData = view.payloadData + dataOffset;
  return {};
}

// The frame is decoded straight from the payload: it is read-only there, and a
// copy would only cost time. Every step that touches all of the frame or all
// of the content goes a piece at a time, each piece a sign of life, so that
// an entry of a gigabyte keeps the watchdog content on a slow machine too.
EntryStatus FileEntry::decompress(diag::Progress& progress) {
  if (EntryStatus checked = checkFrame(progress); !checked) return checked;
  resizeInPieces(content, static_cast<std::size_t>(size), progress);
  return decodeInto(content, progress);
}

EntryStatus FileEntry::checkFrame(diag::Progress& progress) const {
  const std::span frame(compressedData, static_cast<std::size_t>(compressedSize));
  if (crcInPieces(frame, progress) != compressedCrc32c)
    return base::fail(EntryResult::kCompressedCrcMismatch);
  // The frame's headers bound what it can yield. One that cannot yield `size`
  // bytes fails as ZSTD_decompress would, but before `size` bytes are allocated.
  const unsigned long long bound = ZSTD_decompressBound(frame.data(), frame.size());
  if (bound == ZSTD_CONTENTSIZE_ERROR || bound < static_cast<unsigned long long>(size)) {
    return base::fail(EntryResult::kSizeMismatch);
  }
  return {};
}

EntryStatus FileEntry::decodeInto(std::span<std::uint8_t> output, diag::Progress& progress,
                                  const std::function<void(std::size_t)>& decoded) const {
  const std::span frame(compressedData, static_cast<std::size_t>(compressedSize));
  std::uint32_t contentCrc = 0;
  const bool complete = decodeFrames(
      frame, output,
      [&](std::span<const std::uint8_t> piece) {
        contentCrc = crc32c::extend(contentCrc, piece.data(), piece.size());
        if (decoded) decoded(piece.size());
      },
      progress);
  if (!complete) return base::fail(EntryResult::kSizeMismatch);
  if (contentCrc != crc32c) return base::fail(EntryResult::kContentCrcMismatch);
  return {};
}

}  // namespace aerolith::bundle
