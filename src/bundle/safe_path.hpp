// Whether an entry's directory and name keep its file inside the install
// directory on every platform, Windows' path rules included. A damaged or
// tampered manifest must never make the launcher write anywhere else.
#pragma once

#include <string_view>

namespace aerolith::bundle {

// The directory is relative: no root or drive, no leading or doubled separator
// ('\' and '/' alike; one trailing separator is allowed), and each component is
// a plain name. The name is a plain name. A plain name is not empty, holds no
// separator and no ':' (drives, streams), is not made of dots and spaces alone
// ("." and ".." and what Windows trims to them) and is not a device name such
// as "NUL" or "com1.txt", which Windows opens as a device in any folder.
bool isSafeEntryPath(std::wstring_view directory, std::wstring_view name);

}  // namespace aerolith::bundle
