#include "crc32c/crc32c.hpp"

#include "crc32c/internal.hpp"

namespace aerolith::crc32c {

std::uint32_t extend(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
  static const bool accelerated = internal::acceleratedAvailable();
  return accelerated ? internal::extendAccelerated(crc, data, size)
                     : internal::extendPortable(crc, data, size);
}

}  // namespace aerolith::crc32c
