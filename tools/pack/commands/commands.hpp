// The commands of aerolith-pack, each in a file of its own.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "pack/cli/arguments.hpp"

namespace aerolith::pack {

// Where a command takes the path it writes.
enum class OutputArgument {
  kNone,
  kOptionOrLast,  // -o/--output, or else by position: the runner makes it the last positional
  kOption,        // -o/--output only: the command reads option "--output"
};

// How many positional arguments a command takes, an output given by position
// included.
struct Positionals {
  // Not explicit: a command that takes a fixed number states just the number.
  constexpr Positionals(std::size_t count) : least(count), most(count) {}
  constexpr Positionals(std::size_t fewest, std::size_t largest) : least(fewest), most(largest) {}
  std::size_t least;
  std::size_t most;
};

struct Command {
  std::wstring_view name;
  std::wstring_view synopsis;     // the command line, "pack APP_DIR OUT_DIR [--level N]"
  std::wstring_view description;  // what --help prints after the synopsis
  std::span<const std::wstring_view> valuedOptions;
  Positionals positionals;
  int (*run)(const Arguments& arguments);  // exit code; throws Failure
  std::span<const std::wstring_view> flagOptions = {};
  OutputArgument output = OutputArgument::kNone;
};

extern const Command kPackCommand;
extern const Command kListCommand;
extern const Command kVerifyCommand;
extern const Command kExtractCommand;
extern const Command kEmbedCommand;
extern const Command kDiffCommand;
extern const Command kPlanCommand;
extern const Command kExplainCommand;

}  // namespace aerolith::pack
