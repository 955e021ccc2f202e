// Conversions between the program's wide texts and byte encodings. wchar_t holds
// UTF-16 code units on Windows and UTF-32 code points on Linux; both are handled.
#pragma once

#include <string>
#include <string_view>

namespace aerolith::text {

// Ill-formed input (a lone surrogate, an invalid byte sequence) becomes U+FFFD,
// so a conversion never fails and never drops the rest of the text.
std::string toUtf8(std::wstring_view wide);
std::wstring fromUtf8(std::string_view utf8);

}  // namespace aerolith::text
