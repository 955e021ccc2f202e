// Entry point of aerolith-pack.exe.
#include <string>
#include <vector>

#include "pack/tool.hpp"

int wmain(int argc, wchar_t** argv) {
  return aerolith::pack::runTool(std::vector<std::wstring>(argv + 1, argv + argc));
}
