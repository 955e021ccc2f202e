#include "bundle/loading.hpp"

#include <algorithm>

#include "bundle/bundle_view.hpp"
#include "bundle/crc32c.hpp"
#include "bundle/format.hpp"
#include "sys/byte_order.hpp"

namespace aerolith::bundle {
namespace {

void exitOnFailure(const std::optional<ErrorTriple>& failure) {
  if (failure) fatalCorrupt(*failure);
}

// Compares the CRC stored in a resource's first four bytes with that of the
// rest. A resource shorter than its header (a manifest of 1 to 7 bytes, a
// payload of 1 to 3) cannot be intact and fails here too, as a mismatch of its
// stage: with the CRC of whatever follows byte 4 (0 for nothing) and the bytes
// of the stored CRC that exist, zero-padded, even where those two agree. So no
// byte past the end is read, and no later check meets a truncated header.
std::optional<ErrorTriple> checkCrc(std::span<const std::uint8_t> resource, std::size_t headerSize,
                                    Stage stage) {
  const std::size_t storedBytes = std::min(resource.size(), format::kCheckedOffset);
  std::uint32_t stored = 0;
  for (std::size_t i = 0; i < storedBytes; ++i) stored |= std::uint32_t{resource[i]} << (8 * i);
  const std::uint32_t computed = crc32c::value(resource.subspan(storedBytes));
  if (computed != stored || resource.size() < headerSize) {
    return ErrorTriple::crcMismatch(stage, computed, stored);
  }
  return std::nullopt;
}

}  // namespace

std::optional<ErrorTriple> checkResource(const sys::ResourceLookup& lookup, ResourceKind kind) {
  const std::int32_t base = kind == ResourceKind::kManifest ? 0 : 10;
  std::int32_t step = 0;
  switch (lookup.failure) {
    case sys::ResourceFailure::kNone:
      step = lookup.bytes.size() >= format::kFieldLimit ? 4 : 0;
      break;
    case sys::ResourceFailure::kNotFound:
      step = 1;
      break;
    case sys::ResourceFailure::kNotLoaded:
      step = 2;
      break;
    case sys::ResourceFailure::kNotLocked:
      step = 3;
      break;
    case sys::ResourceFailure::kEmpty:
      step = 4;
      break;
  }
  if (step == 0) return std::nullopt;
  return ErrorTriple{Stage::kResources, base + step, 0};
}

BundleView viewOf(const sys::ResourceLookup& manifest, const sys::ResourceLookup& payload) {
  return {manifest.bytes.data(), static_cast<std::int32_t>(manifest.bytes.size()),
          payload.bytes.data(), static_cast<std::int32_t>(payload.bytes.size())};
}

std::optional<ErrorTriple> readManifest(FilesMap& files) {
  const auto manifest = bundleView.manifest();
  if (auto failure = checkCrc(manifest, format::kEntriesOffset, Stage::kManifestCrc)) {
    return failure;
  }
  // Read signed: a count of 2^31 or more is below 1.
  const auto count =
      static_cast<std::int32_t>(sys::loadLe32(manifest.data() + format::kEntryCountOffset));
  if (count < 1) return ErrorTriple{Stage::kEntryCount, count, 0};
  // No room is reserved by the count: it is only checked entry by entry.
  std::int32_t cursor = format::kEntriesOffset;
  for (std::int32_t index = 0; index < count; ++index) {
    const auto entry = std::make_shared<FileEntry>();
    const EntryResult result = entry->parse(cursor, index);
    if (result != EntryResult::kOk) {
      return ErrorTriple{Stage::kEntryParse, index, shownCode(result)};
    }
    files.try_emplace(entry->relativePath, entry);
  }
  return std::nullopt;
}

std::optional<ErrorTriple> checkPayload() {
  return checkCrc(bundleView.payload(), format::kFramesOffset, Stage::kPayloadCrc);
}

FilesMap loadBundle(sys::ModuleHandle module) {
  const auto manifest =
      sys::findResource(module, format::kResourceType, format::kManifestResourceId);
  exitOnFailure(checkResource(manifest, ResourceKind::kManifest));
  const auto payload = sys::findResource(module, format::kResourceType, format::kPayloadResourceId);
  exitOnFailure(checkResource(payload, ResourceKind::kPayload));
  bundleView = viewOf(manifest, payload);
  FilesMap files;
  exitOnFailure(readManifest(files));
  return files;
}

void verifyPayload() { exitOnFailure(checkPayload()); }

}  // namespace aerolith::bundle
