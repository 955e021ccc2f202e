// The tool's standard output and error. Texts go out as UTF-8, or as wide text
// when the stream is a Windows console, so every file name shows as it is.
#pragma once

#include <string_view>

namespace aerolith::pack {

void writeOut(std::wstring_view text);
void writeError(std::wstring_view text);

// True when standard error is a terminal that a progress line can redraw.
bool errorIsTerminal();

// True when standard output is a terminal, where a person reads it rather than
// a program.
bool outputIsTerminal();

}  // namespace aerolith::pack
