#include "pack/image/pe_checksum.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace aerolith::pack::pe {
namespace {

// The checksum as the system defines it: 16-bit words with end-around carry,
// an odd last byte as a word of its own, plus the length.
std::uint32_t wordByWord(const std::vector<std::uint8_t>& file) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    sum += file[i] | (i + 1 < file.size() ? file[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + static_cast<std::uint32_t>(file.size());
}

TEST(PeChecksum, EqualsTheWordSumHoweverTheFileIsFedIn) {
  std::mt19937 random(11);
  for (const std::size_t size : {0, 1, 2, 3, 5, 8, 4097, 100'003}) {
    std::vector<std::uint8_t> file(size);
    for (auto& byte : file) byte = static_cast<std::uint8_t>(random());
    if (size == 100'003) std::fill(file.begin(), file.begin() + 4000, 0xFF);  // many carries
    Checksum whole;
    whole.add(file);
    Checksum pieces;
    for (std::size_t at = 0; at < size;) {
      const std::size_t piece = std::min<std::size_t>(size - at, random() % 7);
      pieces.add(std::span(file).subspan(at, piece));
      at += piece;
    }
    EXPECT_EQ(whole.value(), wordByWord(file)) << size;
    EXPECT_EQ(pieces.value(), wordByWord(file)) << size;
  }
}

}  // namespace
}  // namespace aerolith::pack::pe
