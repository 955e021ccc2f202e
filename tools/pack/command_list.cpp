// list BUNDLE: one line per entry of a bundle's manifest.
#include <chrono>

#include <fmt/xchar.h>

#include "pack/bundle_check.hpp"
#include "pack/commands.hpp"
#include "pack/console.hpp"
#include "pack/launcher_image.hpp"
#include "sys/file_time.hpp"
#include "sys/path.hpp"

namespace aerolith::pack {
namespace {

// ISO 8601 in UTC at the FILETIME's full precision: 2024-12-31T23:59:59.1234567Z.
std::wstring isoTime(std::uint64_t fileTime) {
  using namespace std::chrono;
  const sys::UnixTime time = sys::unixFromFileTime(fileTime);
  const sys_seconds point{seconds(time.seconds)};
  const sys_days day = floor<days>(point);
  const year_month_day date(day);
  const hh_mm_ss clock(point - day);
  return fmt::format(L"{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:07}Z", static_cast<int>(date.year()),
                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                     clock.hours().count(), clock.minutes().count(), clock.seconds().count(),
                     time.nanoseconds / 100);
}

int run(const Arguments& arguments) {
  const std::wstring version = imageVersionLine(sys::pathFromWide(arguments.positional[0]));
  const LoadedBundle bundle(readBundleBytes(sys::pathFromWide(arguments.positional[0])));
  std::wstring listing = L"index\tpath\tsize\tcompressed\tcrc32c\tcompressed crc32c\tlast write\n";
  for (const bundle::FileEntry& entry : bundle.entries()) {
    listing += fmt::format(L"{}\t{}\t{}\t{}\t0x{:08X}\t0x{:08X}\t{}\n", entry.index,
                           entry.relativePath.text(), entry.size, entry.compressedSize,
                           entry.crc32c, entry.compressedCrc32c, isoTime(entry.fileTime));
  }
  writeOut(version + listing);
  return 0;
}

}  // namespace

const Command kListCommand = {
    L"list",
    L"list BUNDLE",
    L"Lists the entries of a bundle, one tab-separated line each: index, relative\n"
    L"path, size, compressed size, CRC-32C of the content and of the compressed\n"
    L"bytes, and the last-write time in UTC.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n",
    {},
    1,
    run,
};

}  // namespace aerolith::pack
