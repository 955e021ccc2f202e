// Entry point of aerolith-pack.
#include <string>
#include <vector>

#include "pack/tool.hpp"
#include "text/utf.hpp"

int main(int argc, char** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.push_back(aerolith::text::fromUtf8(argv[i]));
  return aerolith::pack::runTool(args);
}
