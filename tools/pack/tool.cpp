#include "pack/tool.hpp"

#include <array>
#include <exception>
#include <span>

#include <fmt/xchar.h>

#include "pack/commands.hpp"
#include "pack/console.hpp"
#include "pack/failure.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

constexpr std::array<const Command*, 5> kCommands = {&kPackCommand, &kListCommand, &kVerifyCommand,
                                                     &kExtractCommand, &kEmbedCommand};

std::wstring overview() {
  std::wstring text =
      L"aerolith-pack: writes, inspects and embeds the bundle that a launcher carries.\n\n"
      L"Commands:\n";
  for (const Command* command : kCommands)
    text += fmt::format(L"  aerolith-pack {}\n", command->synopsis);
  text +=
      L"\nRun 'aerolith-pack COMMAND --help' for what a command does, "
      L"'aerolith-pack --version' for the tool's version.\n";
  return text;
}

int runCommand(const Command& command, std::span<const std::wstring> args) {
  const Arguments arguments = parseArguments(args, command.valuedOptions, command.flagOptions);
  if (arguments.help) {
    writeOut(fmt::format(L"usage: aerolith-pack {}\n\n{}", command.synopsis, command.description));
    return kExitOk;
  }
  if (arguments.positional.size() != command.positionalCount) {
    throw UsageError(fmt::format(L"'{}' takes {} arguments, not {}", command.name,
                                 command.positionalCount, arguments.positional.size()));
  }
  return command.run(arguments);
}

int dispatch(const std::vector<std::wstring>& args) {
  if (args.empty()) throw UsageError(L"no command given");
  if (args[0] == L"--help" || args[0] == L"-h" || args[0] == L"help") {
    writeOut(overview());
    return kExitOk;
  }
  if (args[0] == L"--version") {
    writeOut(fmt::format(L"aerolith-pack {}\n", AEROLITH_PACK_VERSION));
    return kExitOk;
  }
  for (const Command* command : kCommands) {
    if (args[0] == command->name) {
      try {
        return runCommand(*command, std::span(args).subspan(1));
      } catch (const UsageError& error) {
        throw UsageError(
            fmt::format(L"{}\nusage: aerolith-pack {}", error.message(), command->synopsis));
      }
    }
  }
  throw UsageError(fmt::format(L"unknown command '{}'", args[0]));
}

}  // namespace

int runTool(const std::vector<std::wstring>& args) {
  try {
    return dispatch(args);
  } catch (const UsageError& error) {
    writeError(fmt::format(L"aerolith-pack: {}\nRun 'aerolith-pack --help' for the commands.\n",
                           error.message()));
    return kExitUsage;
  } catch (const Failure& failure) {
    writeError(fmt::format(L"aerolith-pack: {}\n", failure.message()));
    return kExitFailure;
  } catch (const std::exception& error) {
    writeError(fmt::format(L"aerolith-pack: {}\n", text::fromUtf8(error.what())));
    return kExitFailure;
  }
}

}  // namespace aerolith::pack
