// What a release needs beyond a bundle that a launcher loads: the program a
// launcher starts, 'Aerolith.exe' at the top with exactly that name, and a
// program of the launcher's own platform. Without it every start installs the
// files and then fails with "Failed to start process".
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "pack/base/finding.hpp"
#include "pack/bundle/bundle_check.hpp"
#include "pack/image/launcher_image.hpp"

namespace aerolith::pack {

inline constexpr std::wstring_view kMainProgram = L"Aerolith.exe";

// The problems of the bundle's main program, each with the code
// "no-main-program" or "main-program-kind". `platform` is the launcher
// image's; for a bundle folder (nullopt) a Windows x64 or a Linux program is
// accepted, the launcher being chosen when embedding.
std::vector<Finding> mainProgramProblems(const LoadedBundle& bundle,
                                         std::optional<ImagePlatform> platform);

}  // namespace aerolith::pack
