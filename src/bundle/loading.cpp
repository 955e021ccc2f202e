#include "bundle/loading.hpp"

#include <algorithm>
#include <memory>

#include "base/byte_order.hpp"
#include "bundle/format.hpp"
#include "bundle/frame_decoder.hpp"
#include "diag/progress.hpp"

namespace aerolith::bundle {
namespace {

// Compares the CRC stored in a resource's first four bytes with that of the
// rest. A resource shorter than its header (a manifest of 1 to 7 bytes, a
// payload of 1 to 3) cannot be intact and fails here too, as a mismatch of its
// stage: with the CRC of whatever follows byte 4 (0 for nothing) and the bytes
// of the stored CRC that exist, zero-padded, even where those two agree. So no
// byte past the end is read, and no later check meets a truncated header.
Status checkCrc(std::span<const std::uint8_t> resource, std::size_t headerSize, Stage stage,
                diag::Progress& progress) {
  const std::size_t storedBytes = std::min(resource.size(), format::kCheckedOffset);
  std::uint32_t stored = 0;
  for (std::size_t i = 0; i < storedBytes; ++i) stored |= std::uint32_t{resource[i]} << (8 * i);
  const std::uint32_t computed = crcInPieces(resource.subspan(storedBytes), progress);
  if (computed != stored || resource.size() < headerSize) {
    return base::fail(ErrorTriple::crcMismatch(stage, computed, stored));
  }
  return {};
}

// Checks the manifest's CRC and count, then parses its entries in order: each
// into a record that `make` returns, handed to `keep` once it parsed. Stops at
// the first failure. `end` receives the position after the last entry.
template <typename Make, typename Keep>
Status forEachEntry(const BundleView& view, diag::Progress& progress, Make make, Keep keep,
                    std::int32_t* end = nullptr) {
  const auto manifest = view.manifest();
  if (Status checked = checkCrc(manifest, format::kEntriesOffset, Stage::kManifestCrc, progress);
      !checked) {
    return checked;
  }
  // Read signed: a count of 2^31 or more is below 1.
  const auto count =
      static_cast<std::int32_t>(base::loadLe32(manifest.data() + format::kEntryCountOffset));
  if (count < 1) return base::fail(ErrorTriple{Stage::kEntryCount, count, 0});
  std::int32_t cursor = format::kEntriesOffset;
  for (std::int32_t index = 0; index < count; ++index) {
    auto entry = make();
    const EntryStatus parsed = entry->parse(view, cursor, index);
    if (!parsed)
      return base::fail(ErrorTriple{Stage::kEntryParse, index, shownCode(parsed.error())});
    keep(std::move(entry));
  }
  if (end != nullptr) *end = cursor;
  return {};
}

}  // namespace

Status checkResource(const sys::ResourceLookup& lookup, ResourceKind kind) {
  const std::int32_t base = kind == ResourceKind::kManifest ? 0 : 10;
  if (lookup && lookup->size() < format::kFieldLimit) return {};
  // A size the format cannot hold counts as an empty resource.
  const sys::ResourceFailure step = lookup ? sys::ResourceFailure::kEmpty : lookup.error();
  return base::fail(ErrorTriple{Stage::kResources, base + static_cast<std::int32_t>(step), 0});
}

BundleView viewOf(const sys::ResourceLookup& manifest, const sys::ResourceLookup& payload) {
  return {manifest->data(), static_cast<std::int32_t>(manifest->size()), payload->data(),
          static_cast<std::int32_t>(payload->size())};
}

base::Result<BundleView, ErrorTriple> viewOfBytes(std::span<const std::uint8_t> manifest,
                                                  std::span<const std::uint8_t> payload) {
  const auto lookup = [](std::span<const std::uint8_t> bytes) -> sys::ResourceLookup {
    if (bytes.empty()) return base::fail(sys::ResourceFailure::kEmpty);
    return bytes;
  };
  const sys::ResourceLookup manifestLookup = lookup(manifest);
  const sys::ResourceLookup payloadLookup = lookup(payload);
  if (Status checked = checkResource(manifestLookup, ResourceKind::kManifest); !checked) {
    return base::fail(checked.error());
  }
  if (Status checked = checkResource(payloadLookup, ResourceKind::kPayload); !checked) {
    return base::fail(checked.error());
  }
  return viewOf(manifestLookup, payloadLookup);
}
namespace {

// As many entries as the manifest says, but no more than its bytes can hold
// (a name takes two bytes at least), so that a damaged count reserves nothing
// beyond the manifest's own size.
std::size_t plausibleEntryCount(const BundleView& view) {
  const auto manifest = view.manifest();
  if (manifest.size() < format::kEntriesOffset) return 0;
  const std::size_t stated = base::loadLe32(manifest.data() + format::kEntryCountOffset);
  return std::min(stated, (manifest.size() - format::kEntriesOffset) /
                              (format::kEntrySizeWithoutTexts + sizeof(char16_t)));
}

}  // namespace

Status readManifest(const BundleView& view, FilesMap& files, diag::Progress& progress) {
  // Room for every key at once: growing would hash each key again.
  files.reserve(plausibleEntryCount(view));
  return forEachEntry(
      view, progress, [] { return std::make_shared<FileEntry>(); },
      [&](std::shared_ptr<FileEntry>&& entry) {
        files.try_emplace(entry->relativePath, std::move(entry));
      });
}

Status readEntryList(const BundleView& view, EntryList& list, diag::Progress& progress) {
  return forEachEntry(
      view, progress, [] { return std::make_unique<FileEntry>(); },
      [&](std::unique_ptr<FileEntry>&& entry) { list.entries.push_back(std::move(*entry)); },
      &list.end);
}

Status checkPayload(const BundleView& view, diag::Progress& progress) {
  return checkCrc(view.payload(), format::kFramesOffset, Stage::kPayloadCrc, progress);
}

Status loadBundle(sys::ModuleHandle module, Bundle& bundle, diag::Progress& progress) {
  const auto manifest =
      sys::findResource(module, format::kResourceType, format::kManifestResourceId);
  if (Status checked = checkResource(manifest, ResourceKind::kManifest); !checked) return checked;
  const auto payload = sys::findResource(module, format::kResourceType, format::kPayloadResourceId);
  if (Status checked = checkResource(payload, ResourceKind::kPayload); !checked) return checked;
  bundle.view = viewOf(manifest, payload);
  return readManifest(bundle.view, bundle.files, progress);
}

}  // namespace aerolith::bundle
