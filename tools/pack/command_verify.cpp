// verify BUNDLE: every CRC and every frame of a bundle.
#include <fmt/xchar.h>

#include "pack/bundle_reader.hpp"
#include "pack/commands.hpp"
#include "pack/console.hpp"
#include "pack/launcher_image.hpp"
#include "pack/tool.hpp"
#include "sys/path.hpp"

namespace aerolith::pack {
namespace {

int run(const Arguments& arguments) {
  const std::wstring version = imageVersionLine(sys::pathFromWide(arguments.positional[0]));
  const BundleBytes bundle = loadBundle(sys::pathFromWide(arguments.positional[0]));
  const BundleCheck check = checkBundle(bundle);
  const std::size_t count = check.manifest.entries.size();
  if (!check.problems.empty()) {
    std::wstring report;
    for (const std::wstring& problem : check.problems)
      report += L"aerolith-pack: " + problem + L"\n";
    writeError(report + fmt::format(L"aerolith-pack: the bundle is damaged ({} of {} entries "
                                    L"checked, {} problems)\n",
                                    count, count, check.problems.size()));
    return kExitFailure;
  }
  if (check.manifest.trailingBytes > 0) {
    writeError(
        fmt::format(L"note: the manifest holds {} bytes after its last entry, which a "
                    L"launcher ignores\n",
                    check.manifest.trailingBytes));
  }
  writeOut(version +
           fmt::format(L"ok: {} entries; manifest {} bytes, payload {} bytes; every CRC and "
                       L"frame holds\n",
                       count, bundle.manifest.size(), bundle.payload.size()));
  return kExitOk;
}

}  // namespace

const Command kVerifyCommand = {
    L"verify",
    L"verify BUNDLE",
    L"Checks a bundle as a launcher installing it would: the CRC-32C of the manifest\n"
    L"and of the payload, every entry's fields, and for every entry its compressed\n"
    L"bytes, its Zstandard frame, its size and the CRC-32C of its content. Names each\n"
    L"entry that fails and why; the exit code is 0 only if everything holds.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n",
    {},
    1,
    run,
};

}  // namespace aerolith::pack
