#include "pack/cli/arguments.hpp"

#include <algorithm>

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"

namespace aerolith::pack {
namespace {

// The short forms people type for the options every such tool has.
std::wstring longName(std::wstring name) {
  if (name == L"-o") return L"--output";
  if (name == L"-f") return L"--force";
  return name;
}

}  // namespace

std::optional<std::wstring> Arguments::option(std::wstring_view name) const {
  const auto found = options.find(name);
  if (found == options.end()) return std::nullopt;
  return found->second;
}

std::vector<std::wstring> Arguments::values(std::wstring_view name) const {
  const auto found = repeated.find(name);
  return found == repeated.end() ? std::vector<std::wstring>() : found->second;
}

Arguments parseArguments(std::span<const std::wstring> args,
                         std::span<const std::wstring_view> valuedOptions,
                         std::span<const std::wstring_view> flagOptions) {
  const auto knows = [](std::span<const std::wstring_view> names, std::wstring_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  Arguments parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != L'-') {
      parsed.positional.push_back(arg);
    } else if (arg == L"--") {
      optionsEnded = true;
    } else if (arg == L"--help" || arg == L"-h") {
      parsed.help = true;
    } else {
      const std::size_t equals = arg.find(L'=');
      const std::wstring typed = arg.substr(0, equals);
      const std::wstring name = longName(typed);
      if (knows(flagOptions, name)) {
        if (equals != std::wstring::npos) {
          throw UsageError(fmt::format(L"option '{}' takes no value", name));
        }
        parsed.flags.insert(name);
      } else if (!knows(valuedOptions, name)) {
        throw UsageError(fmt::format(L"unknown option '{}'", typed));
      } else if (equals == std::wstring::npos && i + 1 == args.size()) {
        throw UsageError(fmt::format(L"option '{}' needs a value", name));
      } else {
        const std::wstring value =
            equals != std::wstring::npos ? arg.substr(equals + 1) : args[++i];
        parsed.options[name] = value;
        parsed.repeated[name].push_back(value);
      }
    }
  }
  return parsed;
}

}  // namespace aerolith::pack
