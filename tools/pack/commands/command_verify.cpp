// verify BUNDLE: every check a launcher makes of a bundle, and the producer's rules.
#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/bundle/bundle_check.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/json_writer.hpp"
#include "pack/cli/wording.hpp"
#include "pack/commands/commands.hpp"
#include "pack/image/launcher_image.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace {

// What verify found; a bundle that a launcher refuses to load has no entries.
struct Verdict {
  std::optional<ImageVersion> image;
  std::optional<std::size_t> entries;
  std::size_t manifestBytes = 0;
  std::size_t payloadBytes = 0;
  std::size_t trailingBytes = 0;
  std::vector<std::wstring> problems;
};

Verdict check(const std::filesystem::path& path) {
  Verdict verdict;
  verdict.image = imageVersion(path);
  BundleBytes bytes = readBundleBytes(path);
  verdict.manifestBytes = bytes.manifest.size();
  verdict.payloadBytes = bytes.payload.size();
  try {
    const LoadedBundle bundle(std::move(bytes));
    verdict.entries = bundle.entries().size();
    verdict.trailingBytes = bundle.trailingBytes();
    verdict.problems = bundleProblems(bundle);
  } catch (const Failure& refused) {
    verdict.problems.push_back(refused.message());
  }
  return verdict;
}

int report(const Verdict& verdict) {
  if (!verdict.problems.empty()) {
    std::wstring text;
    for (const std::wstring& problem : verdict.problems)
      text += L"aerolith-pack: " + problem + L"\n";
    if (verdict.entries) {
      text += fmt::format(L"aerolith-pack: the bundle is refused: {} in {}\n",
                          counted(verdict.problems.size(), L"problem", L"problems"),
                          counted(*verdict.entries, L"entry", L"entries"));
    }
    writeError(text);
    return kExitFailure;
  }
  if (verdict.trailingBytes > 0) {
    writeError(
        fmt::format(L"note: the manifest holds {} after its last entry, which a launcher ignores\n",
                    counted(verdict.trailingBytes, L"byte", L"bytes")));
  }
  writeOut((verdict.image ? verdict.image->line() : L"") +
           fmt::format(L"ok: {}; manifest {} bytes, payload {} bytes; every CRC, frame and path "
                       L"holds\n",
                       counted(*verdict.entries, L"entry", L"entries"), verdict.manifestBytes,
                       verdict.payloadBytes));
  return kExitOk;
}

int reportJson(const Verdict& verdict) {
  JsonWriter out;
  out.beginObject().key(L"version");
  if (verdict.image && verdict.image->version) {
    out.string(verdict.image->version->text());
  } else {
    out.null();
  }
  out.key(L"ok").boolean(verdict.problems.empty()).key(L"entries");
  if (verdict.entries) {
    out.number(*verdict.entries);
  } else {
    out.null();
  }
  out.key(L"manifestBytes")
      .number(verdict.manifestBytes)
      .key(L"payloadBytes")
      .number(verdict.payloadBytes)
      .key(L"trailingBytes")
      .number(verdict.trailingBytes)
      .key(L"problems")
      .beginArray();
  for (const std::wstring& problem : verdict.problems) out.string(problem);
  writeOut(out.endArray().endObject().finish());
  return verdict.problems.empty() ? kExitOk : kExitFailure;
}

int run(const Arguments& arguments) {
  const Verdict verdict = check(sys::pathFromWide(arguments.positional[0]));
  return arguments.flag(L"--json") ? reportJson(verdict) : report(verdict);
}

constexpr std::wstring_view kFlags[] = {L"--json"};

}  // namespace

const Command kVerifyCommand = {
    L"verify",
    L"verify BUNDLE [--json]",
    L"Checks a bundle as a launcher installing it would: both resources, the CRC-32C\n"
    L"of the manifest and of the payload, every entry's fields and path, and for every\n"
    L"entry its compressed bytes, its Zstandard frame, its size and the CRC-32C of its\n"
    L"content. A refusal shows the error code the launcher's dialog would show.\n"
    L"Then the rules that 'pack' keeps: no two entries of one path (a launcher\n"
    L"installs only the first), no names that Windows cannot hold, no names that\n"
    L"Windows holds as one in letter case, no user's configuration file\n"
    L"('Config.ini', 'VantorConfig.json') and no legacy file a launcher removes.\n"
    L"Names each problem; the exit code is 0 only if there is none.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n\n"
    L"  --json  one JSON document instead: the image's version, ok, the number of\n"
    L"          entries (null when the bundle cannot be read), the sizes and every\n"
    L"          problem; the exit code as without it\n",
    {},
    1,
    run,
    kFlags,
};

}  // namespace aerolith::pack
