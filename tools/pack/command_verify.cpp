// verify BUNDLE: every check a launcher makes of a bundle, and the producer's rules.
#include <fmt/xchar.h>

#include "pack/bundle_check.hpp"
#include "pack/commands.hpp"
#include "pack/console.hpp"
#include "pack/launcher_image.hpp"
#include "pack/tool.hpp"
#include "sys/path.hpp"

namespace aerolith::pack {
namespace {

int run(const Arguments& arguments) {
  const std::wstring version = imageVersionLine(sys::pathFromWide(arguments.positional[0]));
  const LoadedBundle bundle(readBundleBytes(sys::pathFromWide(arguments.positional[0])));
  const std::size_t count = bundle.entries().size();
  const std::vector<std::wstring> problems = bundleProblems(bundle);
  if (!problems.empty()) {
    std::wstring report;
    for (const std::wstring& problem : problems) report += L"aerolith-pack: " + problem + L"\n";
    writeError(report + fmt::format(L"aerolith-pack: the bundle is refused: {} {} in {} entries\n",
                                    problems.size(),
                                    problems.size() == 1 ? L"problem" : L"problems", count));
    return kExitFailure;
  }
  if (bundle.trailingBytes() > 0) {
    writeError(
        fmt::format(L"note: the manifest holds {} bytes after its last entry, which a "
                    L"launcher ignores\n",
                    bundle.trailingBytes()));
  }
  writeOut(version +
           fmt::format(L"ok: {} entries; manifest {} bytes, payload {} bytes; every CRC, "
                       L"frame and path holds\n",
                       count, bundle.bytes().manifest.size(), bundle.bytes().payload.size()));
  return kExitOk;
}

}  // namespace

const Command kVerifyCommand = {
    L"verify",
    L"verify BUNDLE",
    L"Checks a bundle as a launcher installing it would: both resources, the CRC-32C\n"
    L"of the manifest and of the payload, every entry's fields and path, and for every\n"
    L"entry its compressed bytes, its Zstandard frame, its size and the CRC-32C of its\n"
    L"content. A refusal shows the error code the launcher's dialog would show.\n"
    L"Then the rules that 'pack' keeps: no two entries of one path (a launcher\n"
    L"installs only the first), no names that Windows cannot hold, no names that\n"
    L"Windows holds as one in letter case, no user's configuration file\n"
    L"('Config.ini', 'VantorConfig.json') and no legacy file a launcher removes.\n"
    L"Names each problem; the exit code is 0 only if there is none.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n",
    {},
    1,
    run,
};

}  // namespace aerolith::pack
