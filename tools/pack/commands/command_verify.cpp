// verify BUNDLE: the release gate. Every check a launcher makes of a bundle,
// the producer's rules, the program a launcher starts, and for an image that
// it is this launcher, of the expected version, signed if asked.
#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/bundle/bundle_check.hpp"
#include "pack/bundle/bundle_files.hpp"
#include "pack/bundle/release_rules.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/findings.hpp"
#include "pack/cli/json_writer.hpp"
#include "pack/cli/wording.hpp"
#include "pack/commands/commands.hpp"
#include "pack/image/launcher_image.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace {

namespace fs = std::filesystem;

struct Demands {
  std::optional<FileVersion> version;
  bool signature = false;
};

// What verify found; a bundle that a launcher refuses to load has no entries.
struct Verdict {
  std::optional<ImageFacts> image;  // for a launcher image
  std::optional<std::size_t> entries;
  std::size_t manifestBytes = 0;
  std::size_t payloadBytes = 0;
  std::size_t trailingBytes = 0;
  std::vector<Finding> problems;
  std::vector<Finding> warnings;
};

void checkDemands(const Demands& demands, const fs::path& path, Verdict& verdict) {
  const std::wstring shown = shownPath(path);
  if (demands.version) {
    if (!verdict.image || !verdict.image->version) {
      verdict.problems.push_back(
          {L"wrong-version",
           fmt::format(L"--expect-version {}: {} has no version; it needs a Windows launcher image",
                       demands.version->text(), quoted(path)),
           shown});
    } else if (!sameVersion(*verdict.image->version, *demands.version)) {
      verdict.problems.push_back(
          {L"wrong-version",
           fmt::format(L"the image's version is {}, not {} as --expect-version asks",
                       verdict.image->version->text(), demands.version->text()),
           shown});
    }
  }
  if (demands.signature && !(verdict.image && verdict.image->isSigned)) {
    verdict.problems.push_back(
        {L"unsigned",
         fmt::format(L"{} carries no Authenticode signature, which --require-signed asks for; sign "
                     L"it (osslsigncode sign, signtool sign) after embedding",
                     quoted(path)),
         shown});
  }
}

Verdict check(const fs::path& path, const Demands& demands) {
  Verdict verdict;
  const std::wstring shown = shownPath(path);
  if (namesImage(path)) {
    verdict.image = readImageFacts(path);
    if (!verdict.image->notLauncher.empty()) {
      verdict.problems.push_back({L"not-a-launcher",
                                  fmt::format(L"{} is not an Aerolith Vantor launcher: {}",
                                              quoted(path), verdict.image->notLauncher),
                                  shown});
      checkDemands(demands, path, verdict);
      return verdict;
    }
  }
  BundleBytes bytes = readBundleBytes(path);
  verdict.manifestBytes = bytes.manifest.size();
  verdict.payloadBytes = bytes.payload.size();
  try {
    const LoadedBundle bundle(std::move(bytes));
    verdict.entries = bundle.entries().size();
    verdict.trailingBytes = bundle.trailingBytes();
    for (std::wstring& problem : bundleProblems(bundle))
      verdict.problems.push_back({L"bundle-refused", std::move(problem), shown});
    const std::optional<ImagePlatform> platform =
        verdict.image ? std::optional(verdict.image->platform) : std::nullopt;
    for (Finding& problem : mainProgramProblems(bundle, platform))
      verdict.problems.push_back(std::move(problem));
  } catch (const Failure& refused) {
    verdict.problems.push_back({L"bundle-refused", refused.message(), shown});
  }
  if (verdict.trailingBytes > 0) {
    verdict.warnings.push_back(
        {L"trailing-bytes",
         fmt::format(L"the manifest holds {} after its last entry, which a launcher ignores",
                     counted(verdict.trailingBytes, L"byte", L"bytes")),
         shown});
  }
  checkDemands(demands, path, verdict);
  return verdict;
}

std::wstring imageLines(const ImageFacts& image) {
  return fmt::format(
      L"version: {}\nsigned: {}\n", image.version ? image.version->text() : L"none",
      image.isSigned ? L"yes (the chain is checked by osslsigncode or signtool)" : L"no");
}

int report(const Verdict& verdict) {
  if (!verdict.problems.empty()) {
    std::wstring text;
    for (const Finding& problem : verdict.problems)
      text += L"aerolith-pack: " + problem.message + L"\n";
    if (verdict.entries) {
      text += fmt::format(L"aerolith-pack: the bundle is refused: {} in {}\n",
                          counted(verdict.problems.size(), L"problem", L"problems"),
                          counted(*verdict.entries, L"entry", L"entries"));
    }
    writeError(text);
    return kExitFailure;
  }
  writeError(findingLines(verdict.warnings, L"note"));
  writeOut((verdict.image ? imageLines(*verdict.image) : L"") +
           fmt::format(L"ok: {}; manifest {} bytes, payload {} bytes; every CRC, frame and path "
                       L"holds\n",
                       counted(*verdict.entries, L"entry", L"entries"), verdict.manifestBytes,
                       verdict.payloadBytes));
  return kExitOk;
}

int reportJson(const Verdict& verdict) {
  JsonWriter out;
  out.beginObject().key(L"ok").boolean(verdict.problems.empty());
  if (!verdict.problems.empty()) {
    const Finding& first = verdict.problems.front();
    out.key(L"error").beginObject().key(L"code").string(first.code).key(L"message");
    out.string(first.message).key(L"path").string(first.path).endObject();
  }
  out.key(L"version");
  if (verdict.image && verdict.image->version) {
    out.string(verdict.image->version->text());
  } else {
    out.null();
  }
  out.key(L"signed");
  if (verdict.image) {
    out.boolean(verdict.image->isSigned);
  } else {
    out.null();
  }
  out.key(L"entries");
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
  for (const Finding& problem : verdict.problems) out.string(problem.message);
  out.endArray();
  writeFindings(out, L"warnings", verdict.warnings);
  writeOut(out.endObject().finish());
  return verdict.problems.empty() ? kExitOk : kExitFailure;
}

int run(const Arguments& arguments) {
  Demands demands;
  if (const auto version = arguments.option(L"--expect-version")) {
    demands.version = parseFileVersion(*version);
    if (!demands.version) {
      throw UsageError(fmt::format(
          L"--expect-version takes X.Y.Z or X.Y.Z.W, each a number from 0 to 65535, not '{}'",
          *version));
    }
  }
  demands.signature = arguments.flag(L"--require-signed");
  const Verdict verdict = check(sys::pathFromWide(arguments.positional[0]), demands);
  return arguments.flag(L"--json") ? reportJson(verdict) : report(verdict);
}

constexpr std::wstring_view kOptions[] = {L"--expect-version"};
constexpr std::wstring_view kFlags[] = {L"--json", L"--require-signed"};

}  // namespace

const Command kVerifyCommand = {
    L"verify",
    L"verify BUNDLE [--expect-version X.Y.Z[.W]] [--require-signed] [--json]",
    L"The release gate. Checks a bundle as a launcher installing it would: both\n"
    L"resources, the CRC-32C of the manifest and of the payload, every entry's fields\n"
    L"and path, and for every entry its compressed bytes, its Zstandard frame, its size\n"
    L"and the CRC-32C of its content. A refusal shows the error code the launcher's\n"
    L"dialog would show. Then the rules that 'pack' keeps: no two entries of one path\n"
    L"(a launcher installs only the first), no names that Windows cannot hold, no\n"
    L"names that Windows holds as one in letter case, no user's configuration file\n"
    L"('Config.ini', 'VantorConfig.json') and no legacy file a launcher removes.\n"
    L"Then the program a launcher starts: 'Aerolith.exe' at the top, exactly so\n"
    L"spelt, a Windows x64 program in a Windows launcher (an ELF one in a Linux\n"
    L"launcher). An image must be this launcher: its version resource's\n"
    L"OriginalFilename is 'Aerolith.Launcher.exe' and it carries the identity text\n"
    L"that every launcher build puts in (a Linux image: the text). For an image the\n"
    L"first lines are its version and whether it is signed.\n"
    L"Names each problem; the exit code is 0 only if there is none.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n\n"
    L"  --expect-version X.Y.Z[.W]  the image's file version must be this one\n"
    L"                              (missing numbers count as 0)\n"
    L"  --require-signed            the image must carry an Authenticode signature\n"
    L"                              (a certificate table). Whether the signature and\n"
    L"                              its chain hold is for 'osslsigncode verify' or\n"
    L"                              'signtool verify /pa' to say\n"
    L"  --json                      one JSON document instead, whatever happens: ok,\n"
    L"                              error (the first problem) when not ok, the image's\n"
    L"                              version and whether it is signed, the number of\n"
    L"                              entries (null when the bundle cannot be read), the\n"
    L"                              sizes, every problem and the warnings; the exit\n"
    L"                              code as without it\n",
    kOptions,
    1,
    run,
    kFlags,
};

}  // namespace aerolith::pack
