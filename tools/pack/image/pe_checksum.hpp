// The checksum field of a PE image's optional header, computed as the system's
// CheckSumMappedFile does: the 16-bit words of the whole file, with the field
// itself taken as zero, summed with end-around carry, plus the file's length.
// Fed in pieces, so that an image can be summed while it is written.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace aerolith::pack::pe {

class Checksum {
 public:
  // The next bytes of the file, in order; the checksum field must be zero here.
  void add(std::span<const std::uint8_t> bytes);

  std::uint32_t value() const;

 private:
  std::uint64_t sum_ = 0;  // of 32-bit words; folded to 16 bits at the end
  std::uint64_t length_ = 0;
  std::array<std::uint8_t, 4> partial_{};  // the bytes of an unfinished word
};

}  // namespace aerolith::pack::pe
