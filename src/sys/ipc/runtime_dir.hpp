// Where the POSIX stand-ins of named kernel objects live: the user's runtime
// folder ($XDG_RUNTIME_DIR), or a private per-user folder under /tmp.
#pragma once

#include <filesystem>
#include <string_view>

namespace aerolith::sys {

// The file that stands for the kernel object `name`, with `suffix` appended.
// Characters that cannot appear in a file name are replaced.
std::filesystem::path runtimeObjectPath(std::wstring_view name, std::string_view suffix);

}  // namespace aerolith::sys
