#include "sys/image/appended_resources.hpp"

#include <algorithm>
#include <array>

#include "base/byte_order.hpp"

namespace aerolith::sys {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'A', 'e', 'r', 'o', 'R', 's', 'c', '1'};
constexpr std::size_t kRecordSize = 3 * 4 + 2 * 8;
constexpr std::size_t kTrailerSize = 2 * 8 + 4 + kMagic.size();

}  // namespace

AppendedTable readAppendedTable(std::span<const std::uint8_t> file) {
  AppendedTable table;
  table.imageSize = file.size();
  if (file.size() < kTrailerSize ||
      !std::equal(kMagic.begin(), kMagic.end(), file.end() - kMagic.size())) {
    return table;
  }
  table.status = AppendedTable::Status::kDamaged;
  const std::uint64_t tableEnd = file.size() - kTrailerSize;
  const std::uint8_t* trailer = file.data() + tableEnd;
  const std::uint64_t imageSize = base::loadLe64(trailer);
  const std::uint64_t tableOffset = base::loadLe64(trailer + 8);
  const std::uint64_t count = base::loadLe32(trailer + 16);
  if (tableOffset > tableEnd || imageSize > tableOffset ||
      (tableEnd - tableOffset) != count * kRecordSize) {
    return table;
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint8_t* record = file.data() + tableOffset + i * kRecordSize;
    const AppendedResource resource{base::loadLe32(record), base::loadLe32(record + 4),
                                    base::loadLe32(record + 8), base::loadLe64(record + 12),
                                    base::loadLe64(record + 20)};
    if (resource.offset < imageSize || resource.offset > tableOffset ||
        resource.size > tableOffset - resource.offset) {
      table.resources.clear();
      return table;
    }
    table.resources.push_back(resource);
  }
  table.status = AppendedTable::Status::kPresent;
  table.imageSize = imageSize;
  return table;
}

const AppendedResource* findAppendedResource(const AppendedTable& table, std::uint32_t type,
                                             std::uint32_t id) {
  const auto found = std::find_if(table.resources.begin(), table.resources.end(),
                                  [&](const auto& r) { return r.type == type && r.id == id; });
  return found == table.resources.end() ? nullptr : &*found;
}

std::vector<std::uint8_t> encodeAppendedResources(std::uint64_t imageSize,
                                                  std::span<const ResourceBlock> blocks) {
  std::vector<std::uint8_t> bytes;
  for (const ResourceBlock& block : blocks)
    bytes.insert(bytes.end(), block.data.begin(), block.data.end());
  const std::uint64_t tableOffset = imageSize + bytes.size();
  std::uint64_t offset = imageSize;
  for (const ResourceBlock& block : blocks) {
    base::appendLe32(bytes, block.type);
    base::appendLe32(bytes, block.id);
    base::appendLe32(bytes, block.language);
    base::appendLe64(bytes, offset);
    base::appendLe64(bytes, block.data.size());
    offset += block.data.size();
  }
  base::appendLe64(bytes, imageSize);
  base::appendLe64(bytes, tableOffset);
  base::appendLe32(bytes, static_cast<std::uint32_t>(blocks.size()));
  bytes.insert(bytes.end(), kMagic.begin(), kMagic.end());
  return bytes;
}

}  // namespace aerolith::sys
