#include "pack/tool.hpp"

#include <array>
#include <exception>
#include <span>

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/findings.hpp"
#include "pack/cli/progress.hpp"
#include "pack/cli/wording.hpp"
#include "pack/commands/commands.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

constexpr std::array<const Command*, 8> kCommands = {
    &kPackCommand,    &kEmbedCommand, &kVerifyCommand, &kListCommand,
    &kExtractCommand, &kDiffCommand,  &kPlanCommand,   &kExplainCommand};

std::wstring overview() {
  std::wstring text =
      L"aerolith-pack: writes, inspects and embeds the bundle that a launcher carries.\n\n"
      L"Commands:\n";
  for (const Command* command : kCommands)
    text += fmt::format(L"  aerolith-pack {}\n", command->synopsis);
  text +=
      L"\nRun 'aerolith-pack help COMMAND' for what a command does, "
      L"'aerolith-pack --version' for the tool's version.\n";
  return text;
}

std::wstring help(const Command& command) {
  return fmt::format(L"usage: aerolith-pack {}\n\n{}", command.synopsis, command.description);
}

const Command* find(std::wstring_view name) {
  for (const Command* command : kCommands) {
    if (command->name == name) return command;
  }
  return nullptr;
}

// A command's usage error, followed by its usage line and where its help is.
class CommandUsageError : public UsageError {
 public:
  CommandUsageError(const UsageError& error, const Command& command)
      : UsageError(error.message()),
        pointer_(fmt::format(L"usage: aerolith-pack {}\nsee 'aerolith-pack help {}'\n",
                             command.synopsis, command.name)) {}
  const std::wstring& pointer() const { return pointer_; }

 private:
  std::wstring pointer_;
};

// True when the command line asks for --json: every outcome, a usage error
// included, is then one JSON document on standard output.
bool wantsJson(const std::vector<std::wstring>& args) {
  for (const std::wstring& arg : args) {
    if (arg == L"--") return false;
    if (arg == L"--json") return true;
  }
  return false;
}

std::wstring argumentCount(Positionals positionals) {
  if (positionals.least == positionals.most) {
    return counted(positionals.least, L"argument", L"arguments");
  }
  return fmt::format(L"{} or {} arguments", positionals.least, positionals.most);
}

// Checks the number of positional arguments. An output that may be given by
// position ends as the last one, however it was given.
void settleArguments(const Command& command, Arguments& arguments) {
  Positionals expected = command.positionals;
  const bool outputOption = arguments.options.contains(L"--output");
  if (command.output == OutputArgument::kOptionOrLast && outputOption) {
    if (arguments.positional.size() == expected.most) {
      throw UsageError(fmt::format(L"the output is given twice: '{}' and -o '{}'",
                                   arguments.positional.back(), arguments.options[L"--output"]));
    }
    expected = Positionals(expected.least - 1, expected.most - 1);
  }
  const std::size_t count = arguments.positional.size();
  if (count < expected.least || count > expected.most) {
    throw UsageError(fmt::format(L"'{}' takes {}{}, not {}", command.name, argumentCount(expected),
                                 outputOption ? L" besides -o" : L"", count));
  }
  if (command.output == OutputArgument::kOptionOrLast && outputOption) {
    arguments.positional.push_back(arguments.options[L"--output"]);
    arguments.options.erase(L"--output");
  }
  if (command.output == OutputArgument::kOption && !outputOption) {
    throw UsageError(
        fmt::format(L"'{}' needs -o OUT (or --output OUT): where to write", command.name));
  }
}

int runCommand(const Command& command, std::span<const std::wstring> args) {
  std::vector<std::wstring_view> valued(command.valuedOptions.begin(), command.valuedOptions.end());
  if (command.output != OutputArgument::kNone) valued.push_back(L"--output");
  Arguments arguments = parseArguments(args, valued, command.flagOptions);
  if (arguments.help) {
    writeOut(help(command));
    return kExitOk;
  }
  settleArguments(command, arguments);
  if (arguments.flag(L"--progress")) forceProgress();
  return command.run(arguments);
}

int dispatch(const std::vector<std::wstring>& args) {
  if (args.empty()) throw UsageError(L"no command given");
  if (args[0] == L"--help" || args[0] == L"-h" || (args[0] == L"help" && args.size() == 1)) {
    writeOut(overview());
    return kExitOk;
  }
  if (args[0] == L"--version") {
    writeOut(fmt::format(L"aerolith-pack {}\n", AEROLITH_PACK_VERSION));
    return kExitOk;
  }
  if (args[0] == L"help") {
    const Command* command = find(args[1]);
    if (command == nullptr || args.size() > 2) {
      throw UsageError(fmt::format(L"'help' takes the name of one command, not '{}'", args[1]));
    }
    writeOut(help(*command));
    return kExitOk;
  }
  const Command* command = find(args[0]);
  if (command == nullptr) throw UsageError(fmt::format(L"unknown command '{}'", args[0]));
  try {
    return runCommand(*command, std::span(args).subspan(1));
  } catch (const UsageError& error) {
    throw CommandUsageError(error, *command);
  }
}

}  // namespace

int runTool(const std::vector<std::wstring>& args) {
  const bool json = wantsJson(args);
  const auto fail = [&](const Failure& failure, std::wstring_view pointer, int exitCode) {
    writeError(fmt::format(L"aerolith-pack: {}\n{}", failure.message(), pointer));
    if (json) writeOut(failureJson({failure.code(), failure.message(), failure.path()}));
    return exitCode;
  };
  try {
    return dispatch(args);
  } catch (const CommandUsageError& error) {
    return fail(error, error.pointer(), kExitUsage);
  } catch (const UsageError& error) {
    return fail(error, L"see 'aerolith-pack --help'\n", kExitUsage);
  } catch (const Failure& failure) {
    return fail(failure, L"", kExitFailure);
  } catch (const std::exception& error) {
    return fail(Failure(text::fromUtf8(error.what())), L"", kExitFailure);
  }
}

}  // namespace aerolith::pack
