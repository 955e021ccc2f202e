#include "bundle/manifest_writer.hpp"

#include "base/byte_order.hpp"
#include "bundle/format.hpp"
#include "crc32c/crc32c.hpp"
#include "text/utf16.hpp"

namespace aerolith::bundle {
namespace {

void appendText(std::vector<std::uint8_t>& bytes, std::wstring_view text) {
  const std::size_t lengthAt = bytes.size();
  base::appendLe32(bytes, 0);
  text::appendUtf16Le(bytes, text);
  base::storeLe32(bytes.data() + lengthAt,
                  static_cast<std::uint32_t>(bytes.size() - lengthAt - format::kLengthFieldSize));
}

}  // namespace

ManifestWriter::ManifestWriter() : bytes_(format::kEntriesOffset, 0) {}

void ManifestWriter::add(const EntryRecord& entry) {
  appendText(bytes_, entry.directory);
  appendText(bytes_, entry.name);
  base::appendLe32(bytes_, entry.size);
  base::appendLe32(bytes_, entry.crc32c);
  base::appendLe32(bytes_, entry.compressedSize);
  base::appendLe32(bytes_, entry.compressedCrc32c);
  base::appendLe32(bytes_, entry.offset);
  base::appendLe64(bytes_, entry.fileTime);
  ++count_;
}

std::vector<std::uint8_t> ManifestWriter::finish() && {
  base::storeLe32(bytes_.data() + format::kEntryCountOffset, static_cast<std::uint32_t>(count_));
  const auto checked = std::span(bytes_).subspan(format::kCheckedOffset);
  base::storeLe32(bytes_.data() + format::kCrcOffset, crc32c::value(checked));
  return std::move(bytes_);
}

}  // namespace aerolith::bundle
