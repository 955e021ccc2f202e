// libFuzzer target over what the launcher does with its embedded bundle: the
// resource checks, the manifest's CRC, count and entries, the payload's CRC and
// the decompression of every entry. It drives the functions that return error
// triples and result codes, so no fatal dialog ends the fuzzing process.
//
// Input: one flag byte, the manifest's length (32 bits, little-endian), the
// manifest, then the payload. The flags restore the CRC values that a mutation
// breaks, so that mutations also reach the checks behind them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/byte_order.hpp"
#include "bundle/file_entry.hpp"
#include "bundle/loading.hpp"
#include "crc32c/crc32c.hpp"
#include "fuzz_input.hpp"

namespace {

using namespace aerolith;

// Contents above this are not extracted: a valid frame may legitimately expand
// to 2 GiB, which is no finding, only a fuzzer out of memory.
constexpr std::int32_t kLargestContent = 16 << 20;

sys::ResourceLookup lookupOf(const std::vector<std::uint8_t>& resource) {
  if (resource.empty()) return base::fail(sys::ResourceFailure::kEmpty);
  return std::span<const std::uint8_t>(resource);
}

void reseal(std::vector<std::uint8_t>& resource) {
  if (resource.size() < 4) return;
  base::storeLe32(resource.data(), crc32c::value(std::span(resource).subspan(4)));
}

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::BundleInput input = fuzz::splitInput({data, size});
  if (input.flags & fuzz::kResealManifest) reseal(input.manifest);
  if (input.flags & fuzz::kResealPayload) reseal(input.payload);
  // Each resource in a buffer of its exact size: the sanitizer sees any read
  // past either end.
  input.manifest.shrink_to_fit();
  input.payload.shrink_to_fit();

  const auto manifest = lookupOf(input.manifest);
  const auto payload = lookupOf(input.payload);
  if (!bundle::checkResource(manifest, bundle::ResourceKind::kManifest)) return 0;
  if (!bundle::checkResource(payload, bundle::ResourceKind::kPayload)) return 0;
  const bundle::BundleView view = bundle::viewOf(manifest, payload);

  bundle::FilesMap files;
  diag::Progress unwatched;
  if (!bundle::readManifest(view, files, unwatched)) return 0;
  static_cast<void>(bundle::checkPayload(view, unwatched));

  const std::uint8_t* payloadEnd = input.payload.data() + input.payload.size();
  for (const auto& [path, entry] : files) {
    check(entry->compressedData >= input.payload.data() + 4);
    check(entry->compressedData + entry->compressedSize <= payloadEnd);
    check(!path.empty());
    if (entry->size > kLargestContent) continue;
    if (input.flags & fuzz::kResealFrames) {
      entry->compressedCrc32c =
          crc32c::extend(0, entry->compressedData, static_cast<std::size_t>(entry->compressedSize));
    }
    if (entry->decompress(unwatched)) {
      check(entry->content.size() == static_cast<std::size_t>(entry->size));
    }
  }
  return 0;
}
