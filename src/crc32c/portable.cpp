// Table-driven CRC-32C for processors without a crc32 instruction.
#include <array>

#include "base/byte_order.hpp"
#include "crc32c/internal.hpp"

namespace aerolith::crc32c::internal {
namespace {

using Table = std::array<std::uint32_t, 256>;

// tables[0] advances the register by one byte; tables[k] by one byte followed by
// k zero bytes, so eight lookups advance it by a whole 64-bit word.
constexpr std::array<Table, 8> makeTables() {
  std::array<Table, 8> tables{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ kPolynomial : crc >> 1;
    tables[0][byte] = crc;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t byte = 0; byte < 256; ++byte) {
      const std::uint32_t previous = tables[k - 1][byte];
      tables[k][byte] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr auto kTables = makeTables();

}  // namespace

std::uint32_t extendPortable(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  std::uint32_t state = ~crc;
  for (; size >= 8; data += 8, size -= 8) {
    const std::uint64_t word = base::loadLe64(data) ^ state;
    state = kTables[7][word & 0xFF] ^ kTables[6][(word >> 8) & 0xFF] ^
            kTables[5][(word >> 16) & 0xFF] ^ kTables[4][(word >> 24) & 0xFF] ^
            kTables[3][(word >> 32) & 0xFF] ^ kTables[2][(word >> 40) & 0xFF] ^
            kTables[1][(word >> 48) & 0xFF] ^ kTables[0][word >> 56];
  }
  for (; size > 0; ++data, --size) state = kTables[0][(state ^ *data) & 0xFF] ^ (state >> 8);
  return ~state;
}

}  // namespace aerolith::crc32c::internal
