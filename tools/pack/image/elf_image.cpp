#include "pack/image/elf_image.hpp"

#include <algorithm>
#include <array>

#include "bundle/format.hpp"
#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "sys/image/appended_resources.hpp"

namespace aerolith::pack::elf {
namespace {

namespace format = bundle::format;

sys::AppendedTable readTable(std::span<const std::uint8_t> image) {
  sys::AppendedTable table = sys::readAppendedTable(image);
  if (table.status == sys::AppendedTable::Status::kDamaged) {
    throw Failure(L"it ends in a damaged resource table");
  }
  return table;
}

}  // namespace

bool looksLikeElf(std::span<const std::uint8_t> file) {
  constexpr std::array<std::uint8_t, 4> kMagic = {0x7F, 'E', 'L', 'F'};
  return file.size() >= kMagic.size() && std::equal(kMagic.begin(), kMagic.end(), file.begin());
}

std::optional<std::span<const std::uint8_t>> resource(std::span<const std::uint8_t> image,
                                                      std::uint32_t type, std::uint32_t id) {
  const sys::AppendedTable table = readTable(image);
  const sys::AppendedResource* found = sys::findAppendedResource(table, type, id);
  if (found == nullptr) return std::nullopt;
  return image.subspan(found->offset, found->size);
}

void writeBundle(std::span<const std::uint8_t> image, std::span<const std::uint8_t> manifest,
                 std::span<const std::uint8_t> payload, OutputFile& out) {
  const std::uint64_t imageSize = readTable(image).imageSize;
  const sys::ResourceBlock blocks[] = {
      {format::kResourceType, format::kManifestResourceId, format::kResourceLanguage, manifest},
      {format::kResourceType, format::kPayloadResourceId, format::kResourceLanguage, payload}};
  out.write(image.first(imageSize));
  out.write(sys::encodeAppendedResources(imageSize, blocks));
}

}  // namespace aerolith::pack::elf
