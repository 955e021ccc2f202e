// The command line of one command: its positional arguments, its options with
// their values, its flags, and whether help was asked for.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace aerolith::pack {

struct Arguments {
  std::vector<std::wstring> positional;
  std::map<std::wstring, std::wstring, std::less<>> options;  // the last value of each
  std::map<std::wstring, std::vector<std::wstring>, std::less<>> repeated;  // every value
  std::set<std::wstring, std::less<>> flags;
  bool help = false;

  std::optional<std::wstring> option(std::wstring_view name) const;
  // Every value of an option that may be given more than once, in order.
  std::vector<std::wstring> values(std::wstring_view name) const;
  bool flag(std::wstring_view name) const { return flags.contains(name); }
};

// `valuedOptions` are the options the command knows, each followed by a value
// ("--level 9" or "--level=9"), `flagOptions` those that stand alone; "--help"
// and "-h" are known everywhere, and "--" ends the options. "-o" stands for
// "--output" and "-f" for "--force", where those are known, and is stored
// under the long name. Anything else starting with '-' is a UsageError.
Arguments parseArguments(std::span<const std::wstring> args,
                         std::span<const std::wstring_view> valuedOptions,
                         std::span<const std::wstring_view> flagOptions = {});

}  // namespace aerolith::pack
