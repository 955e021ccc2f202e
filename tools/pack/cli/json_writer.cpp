#include "pack/cli/json_writer.hpp"

#include <fmt/xchar.h>

#include "pack/cli/shown_text.hpp"

namespace aerolith::pack {

JsonWriter& JsonWriter::key(std::wstring_view name) {
  string(name);
  text_ += L':';
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::string(std::wstring_view given) {
  separate();
  text_ += L'"';
  for (const wchar_t unit : escapeLoneSurrogates(given)) {
    switch (unit) {
      case L'"':
        text_ += L"\\\"";
        break;
      case L'\\':
        text_ += L"\\\\";
        break;
      case L'\n':
        text_ += L"\\n";
        break;
      case L'\t':
        text_ += L"\\t";
        break;
      default:
        if (unit < 0x20) {
          text_ += fmt::format(L"\\u{:04x}", static_cast<unsigned>(unit));
        } else {
          text_ += unit;
        }
    }
  }
  text_ += L'"';
  return *this;
}

JsonWriter& JsonWriter::open(wchar_t bracket) {
  separate();
  text_ += bracket;
  empty_.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::close(wchar_t bracket) {
  text_ += bracket;
  empty_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::raw(std::wstring_view token) {
  separate();
  text_ += token;
  return *this;
}

void JsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (empty_.empty()) return;
  if (!empty_.back()) text_ += L',';
  empty_.back() = false;
}

}  // namespace aerolith::pack
