// CRC-32C (Castagnoli, as in iSCSI), the one checksum of the bundle. The contract
// is that of Google's crc32c library: extend(0, data, size) is the CRC of the
// data, extend(extend(0, a), b) the CRC of a followed by b, the CRC of nothing 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace aerolith::crc32c {

// Uses the processor's crc32 instruction where it has one (SSE4.2), chosen at
// run time, and a table-driven loop otherwise.
std::uint32_t extend(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

inline std::uint32_t value(std::span<const std::uint8_t> data) {
  return extend(0, data.data(), data.size());
}

}  // namespace aerolith::crc32c
