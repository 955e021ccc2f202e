// What a Windows file system can hold as the name of a file or folder: the
// launcher installs every bundle entry under its own name there.
#pragma once

#include <string>
#include <string_view>

namespace aerolith::pack {

// Why `name` (one path component) cannot be a Windows file or folder name, in
// words for a message; empty when it can.
std::wstring windowsNameProblem(std::wstring_view name);

}  // namespace aerolith::pack
