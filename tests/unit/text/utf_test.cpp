#include "text/utf.hpp"

#include <gtest/gtest.h>

namespace aerolith::text {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const std::wstring wide = L"A\u00e9\u65e5\U0001F600z";
  const std::string utf8 = "A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80z";
  EXPECT_EQ(toUtf8(wide), utf8);
  EXPECT_EQ(fromUtf8(utf8), wide);
  EXPECT_EQ(toUtf8(L""), "");
  EXPECT_EQ(fromUtf8(""), L"");
}

TEST(Utf8, IllFormedInputBecomesReplacementAndKeepsTheRest) {
  EXPECT_EQ(fromUtf8("a\xFF"
                     "b"),
            L"a\uFFFDb");
  EXPECT_EQ(fromUtf8("a\xE6\x97"), L"a\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(fromUtf8("\xC0\xAF"), L"\uFFFD");          // overlong encoding
  EXPECT_EQ(fromUtf8("\xED\xA0\x80x"), L"\uFFFDx");    // encoded surrogate
  std::wstring loneSurrogate = L"a";
  loneSurrogate += static_cast<wchar_t>(0xD800);
  loneSurrogate += L"b";
  EXPECT_EQ(toUtf8(loneSurrogate),
            "a\xEF\xBF\xBD"
            "b");
}

}  // namespace
}  // namespace aerolith::text
