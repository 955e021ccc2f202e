// explain CODE: what the error code of a launcher's message means.
#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/json_writer.hpp"
#include "pack/commands/commands.hpp"
#include "pack/explain/error_explanation.hpp"

namespace aerolith::pack {
namespace {

int run(const Arguments& arguments) {
  const std::wstring& given = arguments.positional[0];
  const auto triple = parseErrorCode(given);
  if (!triple) {
    throw UsageError(
        fmt::format(L"'{}' is no error code: a code is three numbers joined by "
                    L"full stops, the first from 1 to 7, such as 5.12.15",
                    given));
  }
  const auto explanation = explain(*triple);
  if (!explanation) {
    throw Failure(fmt::format(L"{}: no launcher shows this code; check that it was copied whole "
                              L"from the message's line 'Error code: ...' (a version number such "
                              L"as 1.0.0 is no error code)",
                              triple->text()),
                  L"unknown-code");
  }
  if (arguments.flag(L"--json")) {
    JsonWriter out;
    writeOut(out.beginObject()
                 .key(L"ok")
                 .boolean(true)
                 .key(L"code")
                 .string(triple->text())
                 .key(L"whatFailed")
                 .string(explanation->whatFailed)
                 .key(L"cause")
                 .string(explanation->cause)
                 .key(L"advice")
                 .string(explanation->advice)
                 .endObject()
                 .finish());
    return kExitOk;
  }
  writeOut(fmt::format(
      L"Error code {} of the message \"Embedded resources corrupt\": the launcher refused the "
      L"application files it carries.\n\n"
      L"What failed: {}.\n\nLikely cause: {}\n\nWhat to do: {}\n",
      triple->text(), explanation->whatFailed, explanation->cause, explanation->advice));
  return kExitOk;
}

constexpr std::wstring_view kFlags[] = {L"--json"};

}  // namespace

const Command kExplainCommand = {
    L"explain",
    L"explain CODE [--json]",
    L"Explains the error code of a launcher's \"Embedded resources corrupt\" message,\n"
    L"such as 5.12.15 (the whole line 'Error code: 5.12.15' will do): what failed,\n"
    L"the likely cause and what the user should do. Every code a launcher shows is\n"
    L"known; a code no launcher shows is refused.\n\n"
    L"Only these codes are explained. The launcher's other messages carry no code and\n"
    L"say what to do themselves: \"Write file failed\" (a file in the install folder\n"
    L"is held by another program, such as an antivirus, or the disk is full or refuses\n"
    L"the name), \"Program working directory inaccessible\", \"Failed to start process\"\n"
    L"and \"Timed out\".\n\n"
    L"  --json  one JSON document instead: ok, code, whatFailed, cause, advice\n",
    {},
    1,
    run,
    kFlags,
};

}  // namespace aerolith::pack
