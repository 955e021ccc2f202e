// What a bundle must not hold because of what a launcher does when it installs
// it: a launcher keeps the user's configuration files and removes the legacy
// files on every start, and a Windows file system holds names that differ only
// in letter case as one. A bundle that broke these rules would overwrite the
// user's settings, or rewrite files on every start and never be intact.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace aerolith::pack {

// Why no file or folder of a bundle may be named `component`: a name that
// windowsNameProblem refuses, or the name of a user's configuration file in any
// letter case. Empty when there is no reason.
std::wstring componentProblem(std::wstring_view component);

// Why a bundle must not hold a file named `name` in `directory` (components
// joined by '\' or '/', empty at the top) although each of its names passes
// componentProblem: a legacy file name at the top level, in any letter case.
std::wstring placementProblem(std::wstring_view directory, std::wstring_view name);

// The first problem of componentProblem for the directory's components and
// the name, naming the folder when it is one of the directory's, else the
// placementProblem.
std::wstring entryPathProblem(std::wstring_view directory, std::wstring_view name);

// One message for each set of differently spelt paths that Windows holds as
// one file or folder. `files` are the bundle's file paths (components joined by
// '\' or '/'); their folders are compared too.
std::vector<std::wstring> letterCaseClashes(std::span<const std::wstring> files);

}  // namespace aerolith::pack
