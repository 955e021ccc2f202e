// CRC-32C with the SSE4.2 crc32 instruction. One instruction stream is bound by
// the instruction's latency (three cycles); three independent streams over
// adjacent blocks keep it busy every cycle, and their registers are joined by
// shifting each over the blocks that follow it.
#include "crc32c/internal.hpp"

#if defined(__x86_64__)

#include <cpuid.h>
#include <nmmintrin.h>

#include <array>
#include <cstring>

namespace aerolith::crc32c::internal {
namespace {

// Multiplies a register by the factor of a fixed run of zero bytes, one lookup
// per register byte.
class ZeroBytesShift {
 public:
  constexpr explicit ZeroBytesShift(std::uint64_t bytes) {
    const std::uint32_t factor = zeroBytesFactor(bytes);
    for (std::uint32_t k = 0; k < 4; ++k) {
      for (std::uint32_t byte = 0; byte < 256; ++byte) {
        tables_[k][byte] = multiplyModulo(factor, byte << (8 * k));
      }
    }
  }
  std::uint64_t operator()(std::uint64_t crc) const {
    return tables_[0][crc & 0xFF] ^ tables_[1][(crc >> 8) & 0xFF] ^ tables_[2][(crc >> 16) & 0xFF] ^
           tables_[3][(crc >> 24) & 0xFF];
  }

 private:
  std::array<std::array<std::uint32_t, 256>, 4> tables_{};
};

// Long blocks for the bulk, short ones for what is left of a 64 KiB buffer.
constexpr std::size_t kLongBlock = 4096;
constexpr std::size_t kShortBlock = 256;
constexpr ZeroBytesShift kLongShift(kLongBlock);
constexpr ZeroBytesShift kShortShift(kShortBlock);

__attribute__((target("sse4.2"))) inline std::uint64_t step(std::uint64_t crc,
                                                            const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return _mm_crc32_u64(crc, word);
}

// Runs three streams over three adjacent blocks as long as they fit.
__attribute__((target("sse4.2"))) std::uint64_t threeStreams(std::uint64_t crc,
                                                             const std::uint8_t*& data,
                                                             std::size_t& size, std::size_t block,
                                                             const ZeroBytesShift& shift) {
  while (size >= 3 * block) {
    std::uint64_t crc1 = 0;
    std::uint64_t crc2 = 0;
    for (std::size_t i = 0; i < block; i += 8) {
      crc = step(crc, data + i);
      crc1 = step(crc1, data + block + i);
      crc2 = step(crc2, data + 2 * block + i);
    }
    crc = shift(shift(crc) ^ crc1) ^ crc2;
    data += 3 * block;
    size -= 3 * block;
  }
  return crc;
}

}  // namespace

// One cpuid leaf answers this. __builtin_cpu_supports would link libgcc's
// feature probe, which runs dozens of cpuid at every start, and each one
// traps to the hypervisor on a virtual machine.
bool acceleratedAvailable() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_SSE4_2) != 0;
}

__attribute__((target("sse4.2"))) std::uint32_t extendAccelerated(std::uint32_t crc,
                                                                  const std::uint8_t* data,
                                                                  std::size_t size) {
  std::uint64_t state = static_cast<std::uint32_t>(~crc);
  state = threeStreams(state, data, size, kLongBlock, kLongShift);
  state = threeStreams(state, data, size, kShortBlock, kShortShift);
  for (; size >= 8; data += 8, size -= 8) state = step(state, data);
  for (; size > 0; ++data, --size) {
    state = _mm_crc32_u8(static_cast<std::uint32_t>(state), *data);
  }
  return ~static_cast<std::uint32_t>(state);
}

}  // namespace aerolith::crc32c::internal

#else

namespace aerolith::crc32c::internal {

bool acceleratedAvailable() { return false; }

std::uint32_t extendAccelerated(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  return extendPortable(crc, data, size);
}

}  // namespace aerolith::crc32c::internal

#endif
