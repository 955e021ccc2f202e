// Bundles of any shape for tests: files are compressed and packed as the
// producer packs them, and every field stays open to tampering before the
// bytes are made.
#pragma once

#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_order.hpp"
#include "bundle/bundle_view.hpp"
#include "bundle/error_triple.hpp"
#include "bundle/manifest_writer.hpp"
#include "crc32c/crc32c.hpp"
#include "text/utf.hpp"

namespace aerolith::testing {

using bundle::BundleView;
using bundle::EntryRecord;

inline std::vector<std::uint8_t> bytesOf(std::string_view text) {
  return {text.begin(), text.end()};
}

inline std::vector<std::uint8_t> compressFrame(std::string_view content, int level = 3) {
  std::vector<std::uint8_t> frame(ZSTD_compressBound(content.size()));
  const std::size_t size =
      ZSTD_compress(frame.data(), frame.size(), content.data(), content.size(), level);
  frame.resize(size);
  return frame;
}

// The manifest and payload bytes, held here; view() points at them.
struct BundleBytes {
  std::vector<std::uint8_t> manifest;
  std::vector<std::uint8_t> payload;

  BundleView view() const {
    return {manifest.data(), static_cast<std::int32_t>(manifest.size()), payload.data(),
            static_cast<std::int32_t>(payload.size())};
  }
};

// Restores the CRC in the first four bytes of a resource after a change.
inline void reseal(std::vector<std::uint8_t>& resource) {
  base::storeLe32(resource.data(), crc32c::value(std::span(resource).subspan(4)));
}

class BundleBuilder {
 public:
  // Packs a file; its frame follows the frames before it.
  EntryRecord& add(std::wstring directory, std::wstring name, std::string_view content) {
    return addFrame(std::move(directory), std::move(name), content, compressFrame(content));
  }

  // Packs a file with a frame of the caller's making.
  EntryRecord& addFrame(std::wstring directory, std::wstring name, std::string_view content,
                        const std::vector<std::uint8_t>& frame) {
    EntryRecord record;
    record.directory = std::move(directory);
    record.name = std::move(name);
    record.size = static_cast<std::uint32_t>(content.size());
    record.crc32c = crc32c::value(bytesOf(content));
    record.compressedSize = static_cast<std::uint32_t>(frame.size());
    record.compressedCrc32c = crc32c::value(frame);
    record.offset = static_cast<std::uint32_t>(frames_.size());
    record.fileTime = 0x01DB5309A3E23267 + records_.size();
    frames_.insert(frames_.end(), frame.begin(), frame.end());
    records_.push_back(std::move(record));
    return records_.back();
  }

  EntryRecord& record(std::size_t index) { return records_[index]; }
  std::vector<std::uint8_t>& frames() { return frames_; }

  BundleBytes build() const {
    bundle::ManifestWriter writer;
    for (const EntryRecord& record : records_) writer.add(record);
    BundleBytes bytes{std::move(writer).finish(), std::vector<std::uint8_t>(4 + frames_.size())};
    std::copy(frames_.begin(), frames_.end(), bytes.payload.begin() + 4);
    reseal(bytes.payload);
    return bytes;
  }

 private:
  std::deque<EntryRecord> records_;  // references stay valid as records are added
  std::vector<std::uint8_t> frames_;
};

}  // namespace aerolith::testing

namespace aerolith::bundle {

// Lets test failures show a triple as the dialog would.
inline void PrintTo(const ErrorTriple& error, std::ostream* out) {
  *out << text::toUtf8(error.text());
}

}  // namespace aerolith::bundle
