// embed LAUNCHER BUNDLE -o OUT: a launcher image carrying a bundle.
#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/bundle/bundle_check.hpp"
#include "pack/cli/console.hpp"
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

// An existing output is replaced only when it is the launcher being embedded
// into, or an earlier result of embedding: an image that carries a bundle.
void checkOutput(const fs::path& launcher, const fs::path& out, bool force) {
  std::error_code error;
  if (force || !fs::exists(out, error) || fs::equivalent(launcher, out, error)) return;
  if (fs::is_regular_file(out, error)) {
    try {
      readImageBundle(out);
      return;
    } catch (const Failure&) {
    }
  }
  throw Failure(
      fmt::format(L"{} exists and is not a launcher image that carries a bundle; "
                  L"-f/--force replaces it",
                  quoted(out)));
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
  const auto out = sys::pathFromWide(*arguments.option(L"--output"));
  checkOutput(launcher, out, arguments.flag(L"--force"));
  // A launcher refuses a bad bundle only when it runs; refuse here what
  // 'verify' refuses.
  const LoadedBundle bundle(bundleArguments(arguments.positional));
  const std::vector<std::wstring> problems = bundleProblems(bundle);
  if (!problems.empty()) {
    std::wstring message = L"the bundle is not embedded:";
    for (const std::wstring& problem : problems) message += L"\n  " + problem;
    throw Failure(message);
  }
  const EmbedResult result =
      embedBundle(launcher, bundle.bytes().manifest, bundle.bytes().payload, out, options);
  if (result.removedSignatureBytes != 0) {
    writeError(fmt::format(
        L"note: removed the signature of {} ({} of certificates); sign {} again\n",
        quoted(launcher), counted(result.removedSignatureBytes, L"byte", L"bytes"), quoted(out)));
  }
  writeOut(fmt::format(L"embedded a bundle of {} (manifest {} bytes, payload {} bytes) into {}{}\n",
                       counted(bundle.entries().size(), L"entry", L"entries"),
                       bundle.bytes().manifest.size(), bundle.bytes().payload.size(), quoted(out),
                       options.version ? L", version " + options.version->text() : L""));
  return 0;
}

constexpr std::wstring_view kOptions[] = {L"--version"};
constexpr std::wstring_view kFlags[] = {L"--remove-signature", L"--force"};

}  // namespace

const Command kEmbedCommand = {
    L"embed",
    L"embed LAUNCHER BUNDLE -o OUT [--version X.Y.Z[.W]] [--remove-signature] [--force]",
    L"Writes to OUT a copy of the launcher image LAUNCHER that carries the bundle,\n"
    L"replacing any bundle it held. BUNDLE is the folder that 'pack' wrote (or a\n"
    L"launcher image whose bundle is to be carried over); its two files may also be\n"
    L"given one by one: 'embed LAUNCHER MANIFEST PAYLOAD -o OUT'.\n"
    L"A Windows image gets them as RCDATA resources 48978 and 19266 in language\n"
    L"1033, every other resource and section kept; a Linux image as the resource\n"
    L"table appended to the executable. Either kind is handled on any platform.\n"
    L"The bundle is checked first: one that 'verify' refuses is refused. OUT may be\n"
    L"LAUNCHER, or an image that an earlier embed wrote; any other existing file\n"
    L"is kept unless --force is given.\n\n"
    L"  -o, --output OUT     the image to write\n"
    L"  --version X.Y.Z[.W]  stamps the file and product version of a Windows\n"
    L"                       image's version resource; without it the launcher's\n"
    L"                       own version stays\n"
    L"  --remove-signature   embeds into a signed Windows image, whose signature\n"
    L"                       the change would break, by removing the signature;\n"
    L"                       without it a signed image is refused. Sign OUT again.\n"
    L"  -f, --force          replaces OUT whatever it is\n",
    kOptions,
    {2, 3},
    run,
    kFlags,
    OutputArgument::kOption,
};

}  // namespace aerolith::pack
