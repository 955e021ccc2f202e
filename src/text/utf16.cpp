#include "text/utf16.hpp"

namespace aerolith::text {
namespace {

constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Calls `unit` with each UTF-16 code unit of `wide`.
template <typename Sink>
void forEachUnit(std::wstring_view wide, Sink&& unit) {
  for (const wchar_t w : wide) {
    auto c = static_cast<char32_t>(w);
    if (!kWideIsUtf16 && c > 0xFFFF) {
      if (c > 0x10FFFF) {
        unit(char16_t{0xFFFD});
        continue;
      }
      c -= 0x10000;
      unit(static_cast<char16_t>(0xD800 + (c >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
      continue;
    }
    unit(static_cast<char16_t>(c));
  }
}

// Appends the wide characters of a sequence of code units read by `unitAt`.
template <typename UnitAt>
std::wstring decodeUnits(std::size_t count, UnitAt&& unitAt) {
  std::wstring wide;
  wide.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const char32_t c = unitAt(i);
    if (!kWideIsUtf16 && isHighSurrogate(c) && i + 1 < count && isLowSurrogate(unitAt(i + 1))) {
      wide += static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (unitAt(++i) - 0xDC00));
      continue;
    }
    wide += static_cast<wchar_t>(c);
  }
  return wide;
}

}  // namespace

std::u16string toUtf16(std::wstring_view wide) {
  std::u16string units;
  units.reserve(wide.size());
  forEachUnit(wide, [&](char16_t unit) { units += unit; });
  return units;
}

std::wstring fromUtf16(std::u16string_view units) {
  return decodeUnits(units.size(), [&](std::size_t i) { return char32_t{units[i]}; });
}

bool isWellFormedUtf16(std::wstring_view wide) {
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const auto c = static_cast<char32_t>(wide[i]);
    if (c > 0x10FFFF || isLowSurrogate(c)) return false;
    if (isHighSurrogate(c)) {
      // Only a UTF-16 wchar_t can hold the second half of a pair.
      if (!kWideIsUtf16 || i + 1 == wide.size() ||
          !isLowSurrogate(static_cast<char32_t>(wide[i + 1]))) {
        return false;
      }
      ++i;
    }
  }
  return true;
}

void appendUtf16Le(std::vector<std::uint8_t>& bytes, std::wstring_view wide) {
  forEachUnit(wide, [&](char16_t unit) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  });
}

std::wstring fromUtf16Le(std::span<const std::uint8_t> bytes) {
  return decodeUnits(bytes.size() / 2, [&](std::size_t i) {
    return static_cast<char32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  });
}

}  // namespace aerolith::text
