#include "crc32c/crc32c.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

#include "crc32c/internal.hpp"

namespace aerolith::crc32c {
namespace {

std::uint32_t crcOf(std::string_view text) {
  return extend(0, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::vector<std::uint8_t> randomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

TEST(Crc32c, StandardVectors) {
  EXPECT_EQ(crcOf("123456789"), 0xE3069283u);
  EXPECT_EQ(crcOf(std::string(32, '\0')), 0x8A9136AAu);
  EXPECT_EQ(crcOf(std::string(32, '\xFF')), 0x62A8AB43u);
  EXPECT_EQ(extend(0, nullptr, 0), 0u);
  EXPECT_EQ(extend(0x12345678, nullptr, 0), 0x12345678u);
}

TEST(Crc32c, ExtendingInPiecesEqualsTheWhole) {
  const auto bytes = randomBytes(100'000, 1);
  const std::uint32_t whole = value(bytes);
  for (const std::size_t split : {std::size_t{0}, std::size_t{1}, std::size_t{4095},
                                  std::size_t{12289}, std::size_t{65536}, bytes.size()}) {
    const std::uint32_t first = extend(0, bytes.data(), split);
    EXPECT_EQ(extend(first, bytes.data() + split, bytes.size() - split), whole) << split;
  }
}

TEST(Crc32c, ZeroBytesFactorMatchesRunningZeroBytes) {
  // Shifting a register over n zero bytes, done byte by byte with the register
  // pre-inverted: extend() inverts before and after, so feed it the inverse.
  for (const std::uint64_t bytes : {1u, 7u, 256u, 4096u}) {
    const std::vector<std::uint8_t> zeros(bytes, 0);
    const std::uint32_t state = 0x9E3779B9;
    const std::uint32_t expected = ~internal::extendPortable(~state, zeros.data(), zeros.size());
    EXPECT_EQ(internal::multiplyModulo(internal::zeroBytesFactor(bytes), state), expected) << bytes;
  }
}

// Both paths on every length to 1024 and every start alignment within a word,
// and on lengths that reach the accelerated path's long and short blocks.
TEST(Crc32c, AcceleratedPathMatchesPortablePath) {
  if (!internal::acceleratedAvailable()) GTEST_SKIP() << "no SSE4.2 on this processor";
  const auto bytes = randomBytes(64 * 1024 + 64, 2);
  for (std::size_t alignment = 0; alignment < 16; ++alignment) {
    for (std::size_t length = 0; length <= 1024; ++length) {
      const std::uint8_t* start = bytes.data() + alignment;
      ASSERT_EQ(internal::extendAccelerated(0x5A5A5A5A, start, length),
                internal::extendPortable(0x5A5A5A5A, start, length))
          << "length " << length << " alignment " << alignment;
    }
  }
  for (const std::size_t length : {768u, 769u, 12288u, 12289u, 13056u, 65536u, 65536u + 63}) {
    EXPECT_EQ(internal::extendAccelerated(0, bytes.data() + 1, length),
              internal::extendPortable(0, bytes.data() + 1, length))
        << length;
  }
}

TEST(Crc32c, PortablePathMatchesABitwiseReference) {
  const auto bytes = randomBytes(300, 3);
  for (std::size_t length = 0; length <= bytes.size(); ++length) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < length; ++i) {
      crc ^= bytes[i];
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78 & (0u - (crc & 1)));
    }
    ASSERT_EQ(internal::extendPortable(0, bytes.data(), length), ~crc) << length;
  }
}

}  // namespace
}  // namespace aerolith::crc32c
