// A POSIX launcher image carries its bundle in the resource table appended to
// the executable, which it reads back through /proc/self/exe.
#include <algorithm>
#include <array>

#include <fmt/xchar.h>

#include "bundle/format.hpp"
#include "pack/failure.hpp"
#include "pack/file_io.hpp"
#include "pack/launcher_image.hpp"
#include "sys/appended_resources.hpp"

namespace aerolith::pack {
namespace {

namespace format = bundle::format;
using Status = sys::AppendedTable::Status;

// Reads an executable of this platform; a Windows image is told apart, since
// the table appended to it would never be found.
std::vector<std::uint8_t> readExecutable(const std::filesystem::path& image) {
  std::vector<std::uint8_t> bytes = readWholeFile(image);
  constexpr std::array<std::uint8_t, 4> kElfMagic = {0x7F, 'E', 'L', 'F'};
  if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z') {
    throw Failure(
        fmt::format(L"{} is a Windows image: use aerolith-pack.exe for it", quoted(image)));
  }
  if (bytes.size() < kElfMagic.size() ||
      !std::equal(kElfMagic.begin(), kElfMagic.end(), bytes.begin())) {
    throw Failure(fmt::format(L"{} is not an executable image", quoted(image)));
  }
  return bytes;
}

sys::AppendedTable readTable(const std::filesystem::path& image,
                             std::span<const std::uint8_t> bytes) {
  sys::AppendedTable table = sys::readAppendedTable(bytes);
  if (table.status == Status::kDamaged) {
    throw Failure(fmt::format(L"{} ends in a damaged resource table", quoted(image)));
  }
  return table;
}

std::vector<std::uint8_t> resourceBytes(const std::filesystem::path& image,
                                        std::span<const std::uint8_t> bytes,
                                        const sys::AppendedTable& table, std::uint32_t id,
                                        std::wstring_view what) {
  const sys::AppendedResource* resource =
      sys::findAppendedResource(table, format::kResourceType, id);
  if (resource == nullptr) {
    throw Failure(fmt::format(L"{} holds no bundle: it has no {} resource (RCDATA {})",
                              quoted(image), what, id));
  }
  const auto block = bytes.subspan(resource->offset, resource->size);
  return {block.begin(), block.end()};
}

}  // namespace

BundleBytes readImageBundle(const std::filesystem::path& image) {
  const std::vector<std::uint8_t> bytes = readExecutable(image);
  const sys::AppendedTable table = readTable(image, bytes);
  return {resourceBytes(image, bytes, table, format::kManifestResourceId, L"manifest"),
          resourceBytes(image, bytes, table, format::kPayloadResourceId, L"payload")};
}

void embedBundle(const std::filesystem::path& launcher, std::span<const std::uint8_t> manifest,
                 std::span<const std::uint8_t> payload, const std::filesystem::path& output) {
  const std::vector<std::uint8_t> bytes = readExecutable(launcher);
  const std::uint64_t imageSize = readTable(launcher, bytes).imageSize;
  const sys::ResourceBlock blocks[] = {
      {format::kResourceType, format::kManifestResourceId, format::kResourceLanguage, manifest},
      {format::kResourceType, format::kPayloadResourceId, format::kResourceLanguage, payload}};
  const std::vector<std::uint8_t> appended = sys::encodeAppendedResources(imageSize, blocks);

  std::error_code error;
  const auto permissions = std::filesystem::status(launcher, error).permissions();
  OutputFile out(output);
  out.write(std::span(bytes).first(imageSize));
  out.write(appended);
  if (!error) out.setPermissions(permissions);
  out.commit();
}

}  // namespace aerolith::pack
