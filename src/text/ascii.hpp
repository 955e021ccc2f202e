// ASCII letter case, the only case Windows device names and our own fixed names
// are compared in.
#pragma once

#include <algorithm>
#include <string_view>

namespace aerolith::text {

constexpr wchar_t asciiUpper(wchar_t unit) {
  return unit >= L'a' && unit <= L'z' ? static_cast<wchar_t>(unit - L'a' + L'A') : unit;
}

// Whether `text` equals `upper` (spelt in capitals) when ASCII letters are folded.
constexpr bool equalsIgnoringAsciiCase(std::wstring_view text, std::wstring_view upper) {
  return std::equal(text.begin(), text.end(), upper.begin(), upper.end(),
                    [](wchar_t a, wchar_t b) { return asciiUpper(a) == b; });
}

}  // namespace aerolith::text
