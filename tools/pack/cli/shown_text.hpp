// Texts as the tool shows them: a name read from a bundle may hold a lone
// UTF-16 surrogate, which no output encoding can carry; it shows as \uD800,
// so that two names never show alike.
#pragma once

#include <string>
#include <string_view>

namespace aerolith::pack {

std::wstring escapeLoneSurrogates(std::wstring_view text);

}  // namespace aerolith::pack
