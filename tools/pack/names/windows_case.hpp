// Letter case as a Windows file system sees it: two names are one file or
// folder there when their UTF-16 units are equal one by one after case mapping,
// for letters beyond ASCII too ("É.txt" and "é.txt", "Ωmega" and "ωmega").
#pragma once

#include <string>
#include <string_view>

namespace aerolith::pack {

// The unit that stands for `unit` and every unit Windows holds as one with it.
// Surrogates, and so supplementary characters, stand for themselves.
char16_t windowsCaseUnit(char16_t unit);

// The text's UTF-16 units, each replaced by its windowsCaseUnit: equal for two
// names exactly when Windows holds them as one.
std::u16string windowsCaseKey(std::wstring_view text);

}  // namespace aerolith::pack
