#include "pack/cli/shown_text.hpp"

#include <fmt/xchar.h>

namespace aerolith::pack {
namespace {

bool isHigh(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLow(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::wstring escapeLoneSurrogates(std::wstring_view text) {
  std::wstring shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t unit = text[i];
    // A pair is only ever met where wchar_t holds UTF-16 units (Windows).
    if (isHigh(unit) && i + 1 < text.size() && isLow(text[i + 1])) {
      shown += unit;
      shown += text[++i];
    } else if (isHigh(unit) || isLow(unit)) {
      shown += fmt::format(L"\\u{:04X}", static_cast<unsigned>(unit));
    } else {
      shown += unit;
    }
  }
  return shown;
}

}  // namespace aerolith::pack
