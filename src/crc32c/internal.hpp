// The implementations behind crc32c::extend and the polynomial arithmetic they
// share, apart so that tests and benchmarks can hold each one to the others.
#pragma once

#include <cstddef>
#include <cstdint>

namespace aerolith::crc32c::internal {

// The Castagnoli polynomial in reflected bit order: bit 31 is x^0.
inline constexpr std::uint32_t kPolynomial = 0x82F63B78;

// a * b modulo the polynomial, both in reflected bit order.
constexpr std::uint32_t multiplyModulo(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

// x^(8 * bytes) modulo the polynomial: the factor by which running `bytes` zero
// bytes through the CRC register multiplies its content.
constexpr std::uint32_t zeroBytesFactor(std::uint64_t bytes) {
  std::uint32_t factor = 1u << 31;  // x^0
  std::uint32_t power = 1u << 30;   // x^1, squared at each step
  for (std::uint64_t exponent = 8 * bytes; exponent != 0; exponent >>= 1) {
    if (exponent & 1) factor = multiplyModulo(factor, power);
    power = multiplyModulo(power, power);
  }
  return factor;
}

// Slicing-by-8 tables: one byte per step, eight steps per 64-bit word.
std::uint32_t extendPortable(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

// True when this processor has the SSE4.2 crc32 instruction.
bool acceleratedAvailable();

// Three interleaved crc32 instruction streams; only when acceleratedAvailable().
std::uint32_t extendAccelerated(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

}  // namespace aerolith::crc32c::internal
