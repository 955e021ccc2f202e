// list BUNDLE: one line per entry of a bundle's manifest.
#include <fmt/xchar.h>

#include "pack/bundle/bundle_check.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/json_writer.hpp"
#include "pack/cli/time_text.hpp"
#include "pack/cli/wording.hpp"
#include "pack/commands/commands.hpp"
#include "pack/image/launcher_image.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace {

std::wstring listing(const LoadedBundle& bundle, const std::wstring& header) {
  std::wstring text = header;
  for (const bundle::FileEntry& entry : bundle.entries()) {
    text += fmt::format(L"{}\t{}\t{}\t{}\t{}\t{}\t{}\n", entry.index, entry.relativePath.text(),
                        entry.size, entry.compressedSize, crcText(entry.crc32c),
                        crcText(entry.compressedCrc32c), isoTime(entry.fileTime));
  }
  return text;
}

std::wstring json(const LoadedBundle& bundle, const std::optional<ImageVersion>& image) {
  JsonWriter out;
  out.beginObject().key(L"ok").boolean(true).key(L"version");
  if (image && image->version) {
    out.string(image->version->text());
  } else {
    out.null();
  }
  out.key(L"entries").beginArray();
  for (const bundle::FileEntry& entry : bundle.entries()) {
    out.beginObject()
        .key(L"index")
        .number(entry.index)
        .key(L"path")
        .string(entry.relativePath.text())
        .key(L"size")
        .number(entry.size)
        .key(L"compressedSize")
        .number(entry.compressedSize)
        .key(L"crc32c")
        .string(crcText(entry.crc32c))
        .key(L"compressedCrc32c")
        .string(crcText(entry.compressedCrc32c))
        .key(L"fileTime")
        .number(entry.fileTime)
        .key(L"lastWrite")
        .string(isoTime(entry.fileTime))
        .endObject();
  }
  return out.endArray().endObject().finish();
}

int run(const Arguments& arguments) {
  const auto path = sys::pathFromWide(arguments.positional[0]);
  const std::optional<ImageVersion> image = imageVersion(path);
  const LoadedBundle bundle(readBundleBytes(path));
  if (arguments.flag(L"--json")) {
    writeOut(json(bundle, image));
    return 0;
  }
  // A program reading the lines gets entries only.
  std::wstring header;
  if (outputIsTerminal() && !arguments.flag(L"--no-header")) {
    header = (image ? image->line() : L"") +
             L"index\tpath\tsize\tcompressed\tcrc32c\tcompressed crc32c\tlast write\n";
  }
  writeOut(listing(bundle, header));
  return 0;
}

constexpr std::wstring_view kFlags[] = {L"--json", L"--no-header"};

}  // namespace

const Command kListCommand = {
    L"list",
    L"list BUNDLE [--json] [--no-header]",
    L"Lists the entries of a bundle, one tab-separated line each: index, relative\n"
    L"path, size, compressed size, CRC-32C of the content and of the compressed\n"
    L"bytes, and the last-write time in UTC. On a terminal a header comes first:\n"
    L"the image's version ('version: none' for a Linux image) and the column names.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n\n"
    L"  --json       one JSON document instead: ok, the image's version (null for a\n"
    L"               folder or an image without one) and every entry's fields\n"
    L"  --no-header  no header, on a terminal too\n"
    L"CRC-32Cs are written as 0x and 8 hex digits, in the JSON document too.\n",
    {},
    1,
    run,
    kFlags,
};

}  // namespace aerolith::pack
