// embed LAUNCHER BUNDLE -o OUT: a launcher image carrying a bundle.
#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/base/sha256.hpp"
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

EmbedOptions embedOptions(const Arguments& arguments) {
  EmbedOptions options;
  if (const auto version = arguments.option(L"--version")) {
    options.version = parseFileVersion(*version);
    if (!options.version) {
      throw UsageError(fmt::format(
          L"--version takes X.Y.Z or X.Y.Z.W, each a number from 0 to 65535, not '{}'", *version));
    }
  }
  options.removeSignature = arguments.flag(L"--remove-signature");
  return options;
}

// The bundle as 'pack' wrote it: its folder (or an image carrying one), or its
// two files.
BundleBytes bundleArguments(const std::vector<std::wstring>& positional) {
  if (positional.size() == 3) {
    return {readWholeFile(sys::pathFromWide(positional[1])),
            readWholeFile(sys::pathFromWide(positional[2]))};
  }
  return readBundleBytes(sys::pathFromWide(positional[1]));
}

// An existing output is replaced only when told, whatever it is: an earlier
// result of embedding may be another release's.
void checkOutput(const fs::path& out, bool force) {
  std::error_code error;
  if (force || !fs::exists(out, error)) return;
  throw Failure(fmt::format(L"{} exists; -f/--force replaces it", quoted(out)), L"output-exists",
                shownPath(out));
}

// The image as it was written, before it takes its final name: this launcher,
// its version readable (and the one stamped), the bundle exactly the one given.
void checkWritten(const OutputFile& out, const LoadedBundle& bundle, const EmbedOptions& options) {
  const auto failed = [&](std::wstring_view why) {
    return Failure(fmt::format(L"the image written for {} fails its own check, so it is not "
                               L"kept: {}",
                               quoted(out.target()), why),
                   L"embed-check-failed", shownPath(out.target()));
  };
  ImageFacts facts;
  BundleBytes carried;
  try {
    facts = readImageFacts(out.path());
    carried = readImageBundle(out.path());
  } catch (const Failure& failure) {
    throw failed(failure.message());
  }
  if (!facts.notLauncher.empty()) throw failed(facts.notLauncher);
  if (options.version && !(facts.version && sameVersion(*facts.version, *options.version))) {
    throw failed(fmt::format(L"its version reads {}, not {}",
                             facts.version ? facts.version->text() : L"as none",
                             options.version->text()));
  }
  if (carried.manifest != bundle.bytes().manifest || carried.payload != bundle.bytes().payload) {
    throw failed(L"the bundle it carries is not the one given");
  }
}

int run(const Arguments& arguments) {
  const EmbedOptions options = embedOptions(arguments);
  const auto launcher = sys::pathFromWide(arguments.positional[0]);
  std::error_code error;
  if (fs::is_directory(launcher, error)) {
    throw UsageError(
        fmt::format(L"{} is a folder; embed takes the launcher image first, then "
                    L"the bundle",
                    quoted(launcher)));
  }
  const auto outPath = sys::pathFromWide(*arguments.option(L"--output"));
  checkOutput(outPath, arguments.flag(L"--force"));
  // Opened first, so that an output folder that is missing or not writable is
  // found before the bundle is checked.
  OutputFile out(outPath);
  const ImageFacts facts = readImageFacts(launcher);
  if (!facts.notLauncher.empty()) {
    throw Failure(fmt::format(L"{} is not an Aerolith Vantor launcher: {}; embed takes the plain "
                              L"launcher (bin/{} or bin/aerolith-launcher of a build)",
                              quoted(launcher), facts.notLauncher, kLauncherFileName),
                  L"not-a-launcher", shownPath(launcher));
  }
  // A launcher refuses a bad bundle only when it runs; refuse here what
  // 'verify' refuses.
  const LoadedBundle bundle(bundleArguments(arguments.positional));
  const std::vector<std::wstring> problems = bundleProblems(bundle);
  if (!problems.empty()) {
    std::wstring message = L"the bundle is not embedded:";
    for (const std::wstring& problem : problems) message += L"\n  " + problem;
    throw Failure(message, L"bundle-refused");
  }
  std::vector<Finding> warnings = mainProgramProblems(bundle, facts.platform);
  for (Finding& warning : warnings) warning.message += L"; 'verify' refuses this release";
  const EmbedResult result =
      embedBundle(launcher, bundle.bytes().manifest, bundle.bytes().payload, out, options);
  out.close();
  checkWritten(out, bundle, options);
  out.commit();
  if (result.removedSignatureBytes != 0) {
    warnings.push_back(
        {L"signature-removed",
         fmt::format(L"removed the signature of {} ({} of certificates); sign {} again",
                     quoted(launcher), counted(result.removedSignatureBytes, L"byte", L"bytes"),
                     quoted(outPath)),
         shownPath(launcher)});
  }
  const std::wstring sha256 = sha256OfFile(outPath);
  if (arguments.flag(L"--json")) {
    JsonWriter json;
    json.beginObject()
        .key(L"ok")
        .boolean(true)
        .key(L"output")
        .string(shownPath(outPath))
        .key(L"entries")
        .number(bundle.entries().size())
        .key(L"manifestBytes")
        .number(bundle.bytes().manifest.size())
        .key(L"payloadBytes")
        .number(bundle.bytes().payload.size())
        .key(L"version");
    const std::optional<FileVersion> version = options.version ? options.version : facts.version;
    if (version) {
      json.string(version->text());
    } else {
      json.null();
    }
    json.key(L"sha256").string(sha256);
    writeFindings(json, L"warnings", warnings);
    writeOut(json.endObject().finish());
  } else {
    writeError(findingLines(warnings, L"note"));
    writeOut(fmt::format(
        L"embedded a bundle of {} (manifest {} bytes, payload {} bytes) into {}{}\nsha256: {}\n",
        counted(bundle.entries().size(), L"entry", L"entries"), bundle.bytes().manifest.size(),
        bundle.bytes().payload.size(), quoted(outPath),
        options.version ? L", version " + options.version->text() : L"", sha256));
  }
  return 0;
}

constexpr std::wstring_view kOptions[] = {L"--version"};
constexpr std::wstring_view kFlags[] = {L"--remove-signature", L"--force", L"--json"};

}  // namespace

const Command kEmbedCommand = {
    L"embed",
    L"embed LAUNCHER BUNDLE -o OUT [--version X.Y.Z[.W]] [--remove-signature] [--force] [--json]",
    L"Writes to OUT a copy of the launcher image LAUNCHER that carries the bundle,\n"
    L"replacing any bundle it held. BUNDLE is the folder that 'pack' wrote (or a\n"
    L"launcher image whose bundle is to be carried over); its two files may also be\n"
    L"given one by one: 'embed LAUNCHER MANIFEST PAYLOAD -o OUT'.\n"
    L"A Windows image gets them as RCDATA resources 48978 and 19266 in language\n"
    L"1033, every other resource and section kept; a Linux image as the resource\n"
    L"table appended to the executable. Either kind is handled on any platform.\n"
    L"LAUNCHER must be this launcher (see 'aerolith-pack help verify'); another\n"
    L"program is refused. The bundle is checked first: one that 'verify' refuses is\n"
    L"refused, and a missing or wrong 'Aerolith.exe' is warned of. The image written\n"
    L"is read back and checked (this launcher, its version, the bundle it carries)\n"
    L"before it takes the name OUT; then its SHA-256 is printed. An existing OUT,\n"
    L"LAUNCHER itself or an earlier result included, is kept unless --force is given.\n\n"
    L"  -o, --output OUT     the image to write\n"
    L"  --version X.Y.Z[.W]  stamps the file and product version of a Windows\n"
    L"                       image's version resource; without it the launcher's\n"
    L"                       own version stays\n"
    L"  --remove-signature   embeds into a signed Windows image, whose signature\n"
    L"                       the change would break, by removing the signature;\n"
    L"                       without it a signed image is refused. Sign OUT again.\n"
    L"  -f, --force          replaces OUT whatever it is\n"
    L"  --json               one JSON document instead: ok, output, entries, the\n"
    L"                       sizes, version, sha256 and the warnings\n",
    kOptions,
    {2, 3},
    run,
    kFlags,
    OutputArgument::kOption,
};

}  // namespace aerolith::pack
