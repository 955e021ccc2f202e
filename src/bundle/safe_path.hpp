// Whether an entry's directory and name keep its file inside the install
// directory on every platform, Windows' path rules included. A damaged or
// tampered manifest must never make the launcher write anywhere else, and the
// producer refuses, before it writes anything, every name this refuses.
#pragma once

#include <string_view>

namespace aerolith::bundle {

// Why one path component is no plain name; kNone when it is one.
enum class NameProblem {
  kNone,
  kEmpty,
  kSeparator,      // '\' or '/': more than one component
  kColon,          // drives and alternate data streams
  kDotsAndSpaces,  // "." and "..", and what Windows trims to them ("... ", ". .")
  kDeviceName,     // "NUL", "com1.txt", "CONIN$": Windows opens a device in any folder
};

NameProblem entryNameProblem(std::wstring_view component);

// The directory is relative: no root or drive, no leading or doubled separator
// ('\' and '/' alike; one trailing separator is allowed), and each component is
// a plain name. The name is a plain name.
bool isSafeEntryPath(std::wstring_view directory, std::wstring_view name);

}  // namespace aerolith::bundle
