// embed LAUNCHER MANIFEST PAYLOAD -o OUT: a launcher image carrying a bundle.
#include <fmt/xchar.h>

#include "pack/bundle_check.hpp"
#include "pack/commands.hpp"
#include "pack/console.hpp"
#include "pack/failure.hpp"
#include "pack/file_io.hpp"
#include "pack/launcher_image.hpp"
#include "sys/path.hpp"

namespace aerolith::pack {
namespace {

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

int run(const Arguments& arguments) {
  const auto output = arguments.option(L"-o");
  if (!output) throw UsageError(L"'embed' needs the output image: -o OUT");
  const EmbedOptions options = embedOptions(arguments);
  const auto launcher = sys::pathFromWide(arguments.positional[0]);
  // A launcher refuses a bad bundle only when it runs; refuse here what
  // 'verify' refuses.
  const LoadedBundle bundle(BundleBytes{readWholeFile(sys::pathFromWide(arguments.positional[1])),
                                        readWholeFile(sys::pathFromWide(arguments.positional[2]))});
  const std::vector<std::wstring> problems = bundleProblems(bundle);
  if (!problems.empty()) {
    std::wstring message = L"the bundle is not embedded:";
    for (const std::wstring& problem : problems) message += L"\n  " + problem;
    throw Failure(message);
  }
  const auto out = sys::pathFromWide(*output);
  const EmbedResult result =
      embedBundle(launcher, bundle.bytes().manifest, bundle.bytes().payload, out, options);
  if (result.removedSignatureBytes != 0) {
    writeError(
        fmt::format(L"note: removed the signature of {} ({} bytes of certificates); "
                    L"sign {} again\n",
                    quoted(launcher), result.removedSignatureBytes, quoted(out)));
  }
  writeOut(fmt::format(
      L"embedded a bundle of {} entries (manifest {} bytes, payload {} bytes) into {}{}\n",
      bundle.entries().size(), bundle.bytes().manifest.size(), bundle.bytes().payload.size(),
      quoted(out), options.version ? L", version " + options.version->text() : L""));
  return 0;
}

constexpr std::wstring_view kOptions[] = {L"-o", L"--version"};
constexpr std::wstring_view kFlags[] = {L"--remove-signature"};

}  // namespace

const Command kEmbedCommand = {
    L"embed",
    L"embed LAUNCHER MANIFEST PAYLOAD -o OUT [--version X.Y.Z[.W]] [--remove-signature]",
    L"Writes to OUT a copy of the launcher image LAUNCHER that carries the bundle\n"
    L"(MANIFEST and PAYLOAD, as 'pack' writes them), replacing any bundle it held.\n"
    L"A Windows image gets them as RCDATA resources 48978 and 19266 in language\n"
    L"1033, every other resource and section kept; a Linux image as the resource\n"
    L"table appended to the executable. Either kind is handled on any platform.\n"
    L"The bundle is checked first: one that 'verify' refuses is refused. OUT may be\n"
    L"LAUNCHER.\n\n"
    L"  --version X.Y.Z[.W]  stamps the file and product version of a Windows\n"
    L"                       image's version resource; without it the launcher's\n"
    L"                       own version stays\n"
    L"  --remove-signature   embeds into a signed Windows image, whose signature\n"
    L"                       the change would break, by removing the signature;\n"
    L"                       without it a signed image is refused. Sign OUT again.\n",
    kOptions,
    3,
    run,
    kFlags,
};

}  // namespace aerolith::pack
