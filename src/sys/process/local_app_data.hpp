// Where the system says the user's local application-data folder is. Windows
// has four ways to ask; each answer is reported, even when they agree.
#pragma once

#include <filesystem>
#include <vector>

namespace aerolith::sys {

// The folders of every source that answered, in the sources' fixed order. A
// source that fails adds nothing; all of them are asked on every call.
std::vector<std::filesystem::path> localAppDataFolders();

}  // namespace aerolith::sys
