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

int run(const Arguments& arguments) {
  const auto output = arguments.option(L"-o");
  if (!output) throw UsageError(L"'embed' needs the output image: -o OUT");
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
  embedBundle(launcher, bundle.bytes().manifest, bundle.bytes().payload, out);
  writeOut(
      fmt::format(L"embedded a bundle of {} entries (manifest {} bytes, payload {} bytes) "
                  L"into {}\n",
                  bundle.entries().size(), bundle.bytes().manifest.size(),
                  bundle.bytes().payload.size(), quoted(out)));
  return 0;
}

constexpr std::wstring_view kOptions[] = {L"-o"};

}  // namespace

const Command kEmbedCommand = {
    L"embed",
    L"embed LAUNCHER MANIFEST PAYLOAD -o OUT",
    L"Writes to OUT a copy of the launcher image LAUNCHER that carries the bundle\n"
    L"(MANIFEST and PAYLOAD, as 'pack' writes them), replacing any bundle it held.\n"
    L"A Windows image gets them as RCDATA resources 48978 and 19266 in language\n"
    L"1033; a Linux image as the resource table appended to the executable. The\n"
    L"bundle is checked first: one that 'verify' refuses is refused. OUT may be\n"
    L"LAUNCHER.\n",
    kOptions,
    3,
    run,
};

}  // namespace aerolith::pack
