// extract BUNDLE -o DIR: writes every entry of a bundle with its last-write time.
#include <fmt/xchar.h>

#include "bundle/loading.hpp"
#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/bundle/bundle_check.hpp"
#include "pack/bundle/extract_target.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/findings.hpp"
#include "pack/cli/json_writer.hpp"
#include "pack/cli/progress.hpp"
#include "pack/cli/wording.hpp"
#include "pack/commands/commands.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace {

int run(const Arguments& arguments) {
  const LoadedBundle bundle(readBundleBytes(sys::pathFromWide(arguments.positional[0])));
  // Checked before the first file is written, as a launcher replacing one would.
  diag::Progress unwatched;  // a tool's work has no watchdog
  if (const bundle::Status payload = bundle::checkPayload(bundle.view(), unwatched); !payload) {
    throw Failure(refusal(payload.error(), L""));
  }
  const ExtractTarget target(sys::pathFromWide(arguments.positional[1]),
                             arguments.flag(L"--force"));
  // Of entries with one path, a launcher installs the first only.
  const auto& entries = bundle.entries();
  const std::vector<std::size_t> first = firstOfEachPath(entries);
  std::uint64_t total = 0;
  std::size_t files = 0;
  std::vector<Finding> warnings;
  for (std::size_t index = 0; index < entries.size(); ++index) {
    if (first[index] != index) {
      warnings.push_back(
          {L"left-out",
           fmt::format(L"{} is left out: {} has the same path", entryLabel(entries[index]),
                       entryLabel(entries[first[index]])),
           entries[index].relativePath.text()});
      continue;
    }
    total += static_cast<std::uint64_t>(entries[index].size);
    ++files;
  }
  Progress progress(L"extracting", total);
  for (std::size_t index = 0; index < entries.size(); ++index) {
    if (first[index] != index) continue;
    target.write(entries[index], extractContent(entries[index]));
    progress.advance(static_cast<std::uint64_t>(entries[index].size));
  }
  if (arguments.flag(L"--json")) {
    JsonWriter out;
    out.beginObject()
        .key(L"ok")
        .boolean(true)
        .key(L"folder")
        .string(shownPath(target.path()))
        .key(L"files")
        .number(files)
        .key(L"bytes")
        .number(total);
    writeFindings(out, L"warnings", warnings);
    writeOut(out.endObject().finish());
    return 0;
  }
  writeError(findingLines(warnings, L"note"));
  writeOut(fmt::format(L"extracted {} ({}) into {}\n", counted(files, L"file", L"files"),
                       counted(total, L"byte", L"bytes"), quoted(target.path())));
  return 0;
}

constexpr std::wstring_view kFlags[] = {L"--force", L"--progress", L"--json"};

}  // namespace

const Command kExtractCommand = {
    L"extract",
    L"extract BUNDLE -o DIR [--force] [--progress] [--json]",
    L"Writes every file of a bundle under DIR, in its folder, with its last-write\n"
    L"time, after the checks a launcher makes. Of entries with the same path only\n"
    L"the first is written, as a launcher installs it. DIR must be empty or new.\n"
    L"Nothing is written through a link: a link inside DIR is refused, not followed.\n"
    L"'extract BUNDLE DIR' works too.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n\n"
    L"  -o, --output DIR  where the files go\n"
    L"  -f, --force       writes into a folder that holds files: those of the\n"
    L"                    bundle's paths are replaced, the others left\n"
    L"  --progress        a progress line also when standard error is no terminal\n"
    L"  --json            one JSON document instead: ok, folder, files, bytes and\n"
    L"                    the warnings (entries left out)\n",
    {},
    2,
    run,
    kFlags,
    OutputArgument::kOptionOrLast,
};

}  // namespace aerolith::pack
