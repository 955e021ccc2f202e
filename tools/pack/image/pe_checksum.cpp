#include "pack/image/pe_checksum.hpp"

#include "base/byte_order.hpp"

namespace aerolith::pack::pe {

// Summing 32-bit words and folding at the end gives the same one's-complement
// sum as 16-bit words, since 2^16 = 1 modulo 0xFFFF; a file below 4 GiB cannot
// overflow the 64-bit sum.
void Checksum::add(std::span<const std::uint8_t> bytes) {
  std::size_t used = length_ % 4;
  length_ += bytes.size();
  while (used != 0 && !bytes.empty()) {
    partial_[used] = bytes.front();
    bytes = bytes.subspan(1);
    used = (used + 1) % 4;
    if (used == 0) sum_ += base::loadLe32(partial_.data());
  }
  const std::size_t whole = bytes.size() / 4 * 4;
  for (std::size_t i = 0; i < whole; i += 4) sum_ += base::loadLe32(bytes.data() + i);
  for (std::size_t i = whole; i < bytes.size(); ++i) partial_[i - whole] = bytes[i];
}

std::uint32_t Checksum::value() const {
  std::uint64_t sum = sum_;
  if (const std::size_t used = length_ % 4; used != 0) {
    std::array<std::uint8_t, 4> last{};
    for (std::size_t i = 0; i < used; ++i) last[i] = partial_[i];
    sum += base::loadLe32(last.data());
  }
  while (sum >> 16 != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + length_);
}

}  // namespace aerolith::pack::pe
