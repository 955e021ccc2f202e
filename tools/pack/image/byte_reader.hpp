// Bounds-checked little-endian reads from bytes whose layout comes from outside
// the tool (an image, a resource): a field that would lie past the end ends in
// a Failure that names it, never in a read outside the bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include <fmt/xchar.h>

#include "base/byte_order.hpp"
#include "pack/base/failure.hpp"

namespace aerolith::pack {

class ByteReader {
 public:
  // `what` names the bytes in messages: "the file", "the resource table".
  ByteReader(std::span<const std::uint8_t> bytes, std::wstring_view what)
      : bytes_(bytes), what_(what) {}

  std::span<const std::uint8_t> bytes(std::uint64_t offset, std::uint64_t size,
                                      std::wstring_view field) const {
    if (offset > bytes_.size() || size > bytes_.size() - offset) {
      throw Failure(fmt::format(L"{} ({} bytes at {}) runs past the end of {} ({} bytes)", field,
                                size, offset, what_, bytes_.size()));
    }
    return bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
  }

  std::uint16_t u16(std::uint64_t offset, std::wstring_view field) const {
    const auto b = bytes(offset, 2, field);
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
  }
  std::uint32_t u32(std::uint64_t offset, std::wstring_view field) const {
    return base::loadLe32(bytes(offset, 4, field).data());
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::wstring_view what_;
};

}  // namespace aerolith::pack
