// What may name a file or folder of a bundle: what a launcher installs without
// refusing the bundle, and what a Windows file system holds under that exact
// name. The producer may refuse more names than a launcher, never fewer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace aerolith::pack {

// Windows keeps names of at most this many UTF-16 units.
inline constexpr std::size_t kLongestWindowsName = 255;

// Why `name` (one path component) cannot name a bundle's file or folder, in
// words for a message; empty when it can. Every name a launcher refuses is
// refused here first, in the launcher's terms.
std::wstring windowsNameProblem(std::wstring_view name);

}  // namespace aerolith::pack
