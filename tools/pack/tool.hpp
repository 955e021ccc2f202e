// aerolith-pack's command line: picks the command, answers --help, and turns
// failures into messages on standard error and exit codes (base/failure.hpp).
#pragma once

#include <string>
#include <vector>

namespace aerolith::pack {

// `args` are the arguments after the program name.
int runTool(const std::vector<std::wstring>& args);

}  // namespace aerolith::pack
