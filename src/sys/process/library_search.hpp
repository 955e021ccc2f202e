// Which libraries the process may load. A launcher is started from wherever it
// was downloaded to, and a library planted beside it there must never be
// loaded: on Windows every library comes from the system folder only.
#pragma once

namespace aerolith::sys {

// Windows: from now on libraries load from the system folder alone
// (SetDefaultDllDirectories). The image imports only libraries that the
// system always takes from there; the others are loaded through
// systemFunction (system_library_win.hpp). POSIX: nothing to do, since a
// program's folder is never searched for its libraries.
void restrictLibrarySearch();

}  // namespace aerolith::sys
