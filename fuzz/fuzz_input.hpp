// The byte layout of a bundle fuzzer input, shared by the fuzzer and the
// program that writes its seeds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "base/byte_order.hpp"

namespace aerolith::fuzz {

// Flags of the first byte: which CRC values the fuzzer restores after mutation.
inline constexpr std::uint8_t kResealManifest = 1;
inline constexpr std::uint8_t kResealPayload = 2;
inline constexpr std::uint8_t kResealFrames = 4;  // each entry's compressed CRC

struct BundleInput {
  std::uint8_t flags = 0;
  std::vector<std::uint8_t> manifest;
  std::vector<std::uint8_t> payload;
};

// flags (1 byte), manifest length (4 bytes), manifest, payload. A length that
// runs past the input takes what there is.
inline BundleInput splitInput(std::span<const std::uint8_t> bytes) {
  BundleInput input;
  if (bytes.size() < 5) return input;
  input.flags = bytes[0];
  const std::size_t rest = bytes.size() - 5;
  const std::size_t length = std::min<std::size_t>(base::loadLe32(bytes.data() + 1), rest);
  input.manifest.assign(bytes.begin() + 5, bytes.begin() + 5 + static_cast<std::ptrdiff_t>(length));
  input.payload.assign(bytes.begin() + 5 + static_cast<std::ptrdiff_t>(length), bytes.end());
  return input;
}

inline std::vector<std::uint8_t> joinInput(const BundleInput& input) {
  std::vector<std::uint8_t> bytes{input.flags};
  base::appendLe32(bytes, static_cast<std::uint32_t>(input.manifest.size()));
  bytes.insert(bytes.end(), input.manifest.begin(), input.manifest.end());
  bytes.insert(bytes.end(), input.payload.begin(), input.payload.end());
  return bytes;
}

}  // namespace aerolith::fuzz
