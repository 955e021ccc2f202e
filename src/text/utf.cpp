#include "text/utf.hpp"

#include <cstdint>

namespace aerolith::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Used only where wchar_t holds UTF-16 units.
[[maybe_unused]] bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
[[maybe_unused]] bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void appendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendWide(std::wstring& out, char32_t c) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(c);
}

}  // namespace

std::string toUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (isHighSurrogate(c) && i + 1 < wide.size() &&
          isLowSurrogate(static_cast<char32_t>(wide[i + 1]))) {
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(wide[++i]) - 0xDC00);
      }
    }
    appendUtf8(out, c);
  }
  return out;
}

std::wstring fromUtf8(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(utf8[i]); };
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::uint8_t lead = byte(i);
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1, c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, c = lead & 0x07, minimum = 0x10000;
    }
    std::size_t consumed = 1;
    bool valid = length != 0 && i + length <= utf8.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      c = (c << 6) | (byte(i + k) & 0x3F);
      consumed = k + 1;
    }
    if (valid && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
    if (valid) {
      appendWide(out, c);
      i += length;
    } else {
      appendWide(out, kReplacement);
      i += consumed;
    }
  }
  return out;
}

}  // namespace aerolith::text
