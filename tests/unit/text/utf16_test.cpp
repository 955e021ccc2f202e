#include "text/utf16.hpp"

#include <gtest/gtest.h>

namespace aerolith::text {
namespace {

std::wstring withUnit(std::wstring text, char32_t unit) {
  text += static_cast<wchar_t>(unit);
  return text;
}

TEST(Utf16, AstralCharactersBecomeSurrogatePairsAndBack) {
  const std::wstring wide = L"a\u00e9\U0001F600\U0010FFFFz";
  const std::u16string units = u"a\u00e9\U0001F600\U0010FFFFz";
  EXPECT_EQ(toUtf16(wide), units);
  EXPECT_EQ(units.size(), 7u);
  EXPECT_EQ(fromUtf16(units), wide);
  EXPECT_TRUE(isWellFormedUtf16(wide));
}

TEST(Utf16, LittleEndianBytesRoundTrip) {
  std::vector<std::uint8_t> bytes;
  appendUtf16Le(bytes, L"A\U0001F600");
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(fromUtf16Le(bytes), L"A\U0001F600");
  bytes.push_back(0x42);  // an odd last byte is not a unit
  EXPECT_EQ(fromUtf16Le(bytes), L"A\U0001F600");
  EXPECT_EQ(fromUtf16Le({}), L"");
}

TEST(Utf16, LoneSurrogatesSurviveDecodingAndEncoding) {
  const std::u16string units = {u'a', char16_t{0xDC00}, char16_t{0xD800}, u'b', char16_t{0xD800}};
  const std::wstring wide = fromUtf16(units);
  EXPECT_EQ(wide.size(), 5u);
  EXPECT_EQ(toUtf16(wide), units);
  EXPECT_FALSE(isWellFormedUtf16(wide));
  EXPECT_FALSE(isWellFormedUtf16(withUnit(L"x", 0xD800)));
  EXPECT_FALSE(isWellFormedUtf16(withUnit(L"x", 0xDFFF)));
}

TEST(Utf16, OrdersByCodeUnitsNotCodePoints) {
  // U+FF21 sorts before U+1F600 by code point, after its surrogate pair by unit.
  EXPECT_GT(toUtf16(L"\uFF21"), toUtf16(L"\U0001F600"));
}

}  // namespace
}  // namespace aerolith::text
