// The commands of aerolith-pack, each in a file of its own.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "pack/arguments.hpp"

namespace aerolith::pack {

struct Command {
  std::wstring_view name;
  std::wstring_view synopsis;     // the command line, "pack APP_DIR OUT_DIR [--level N]"
  std::wstring_view description;  // what --help prints after the synopsis
  std::span<const std::wstring_view> valuedOptions;
  std::size_t positionalCount;
  int (*run)(const Arguments& arguments);  // exit code; throws Failure
  std::span<const std::wstring_view> flagOptions = {};
};

extern const Command kPackCommand;
extern const Command kListCommand;
extern const Command kVerifyCommand;
extern const Command kExtractCommand;
extern const Command kEmbedCommand;

}  // namespace aerolith::pack
