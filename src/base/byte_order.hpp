// Little-endian integers at any byte position, the only integer form of the
// bundle. Byte by byte, so they work at any alignment on any processor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace aerolith::base {

inline std::uint32_t loadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint64_t loadLe64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(loadLe32(p)) | static_cast<std::uint64_t>(loadLe32(p + 4))
                                                       << 32;
}

inline void storeLe32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The same over std::byte, the type of memory shared with other processes.
inline std::uint32_t loadLe32(const std::byte* p) {
  return loadLe32(reinterpret_cast<const std::uint8_t*>(p));
}
inline void storeLe32(std::byte* p, std::uint32_t value) {
  storeLe32(reinterpret_cast<std::uint8_t*>(p), value);
}

inline void appendLe32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void appendLe64(std::vector<std::uint8_t>& bytes, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace aerolith::base
