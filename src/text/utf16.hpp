// UTF-16 forms of the program's wide texts: the code units that the bundle's
// manifest stores (little-endian) and by whose order its entries are sorted.
// wchar_t holds UTF-16 units on Windows and code points on Linux; both work.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace aerolith::text {

// Code points above U+FFFF become surrogate pairs and pairs become one code point
// again where wchar_t is 32-bit. A lone surrogate stays a single unit, so that any
// unit sequence survives decoding and encoding unchanged; only a value above
// U+10FFFF, which no UTF-16 text can hold, becomes U+FFFD.
std::u16string toUtf16(std::wstring_view wide);
std::wstring fromUtf16(std::u16string_view units);

// True when the text has an exact UTF-16 form: every surrogate belongs to a pair
// and, where wchar_t is 32-bit, no value lies above U+10FFFF.
bool isWellFormedUtf16(std::wstring_view wide);

// Appends the text's UTF-16LE bytes, without a terminator.
void appendUtf16Le(std::vector<std::uint8_t>& bytes, std::wstring_view wide);

// Decodes UTF-16LE bytes; an odd last byte is ignored.
std::wstring fromUtf16Le(std::span<const std::uint8_t> bytes);

}  // namespace aerolith::text
