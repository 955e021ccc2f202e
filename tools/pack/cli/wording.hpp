// Counts in messages, with the noun in the number it needs: "1 file", "2 files".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/xchar.h>

namespace aerolith::pack {

// A CRC-32C as every output of the tool writes it, text and JSON alike:
// "0x1EDC6F41".
inline std::wstring crcText(std::uint32_t crc) { return fmt::format(L"0x{:08X}", crc); }

inline std::wstring counted(std::uint64_t count, std::wstring_view singular,
                            std::wstring_view plural) {
  return fmt::format(L"{} {}", count, count == 1 ? singular : plural);
}

}  // namespace aerolith::pack
