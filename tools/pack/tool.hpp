// aerolith-pack's command line: picks the command, answers --help, and turns
// failures into messages on standard error and exit codes.
#pragma once

#include <string>
#include <vector>

namespace aerolith::pack {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// `args` are the arguments after the program name.
int runTool(const std::vector<std::wstring>& args);

}  // namespace aerolith::pack
