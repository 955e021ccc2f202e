// pack APP_DIR -o OUT_DIR: writes manifest.bin and payload.bin for a folder.
#include <charconv>

#include <fmt/xchar.h>

#include "bundle/crc32c.hpp"
#include "bundle/format.hpp"
#include "bundle/manifest_writer.hpp"
#include "pack/app_scan.hpp"
#include "pack/bundle_files.hpp"
#include "pack/commands.hpp"
#include "pack/console.hpp"
#include "pack/failure.hpp"
#include "pack/file_io.hpp"
#include "pack/frames.hpp"
#include "pack/output_folder.hpp"
#include "pack/progress.hpp"
#include "pack/wording.hpp"
#include "sys/byte_order.hpp"
#include "sys/path.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

namespace fs = std::filesystem;
namespace format = bundle::format;

int parseLevel(const std::optional<std::wstring>& option) {
  if (!option) return FrameCompressor::kDefaultLevel;
  const std::string digits = text::toUtf8(*option);
  int level = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), level);
  if (error != std::errc() || end != digits.data() + digits.size() ||
      level < FrameCompressor::kMinLevel || level > FrameCompressor::kMaxLevel) {
    throw UsageError(fmt::format(L"--level takes a whole number from {} to {}, not '{}'",
                                 FrameCompressor::kMinLevel, FrameCompressor::kMaxLevel, *option));
  }
  return level;
}

struct PackedSizes {
  std::uint64_t content = 0;
  std::uint64_t manifest = 0;
  std::uint64_t payload = 0;
};

// Compresses the files one by one into the payload, so that only one file is
// in memory at a time, and builds the manifest beside it.
PackedSizes writeBundle(const std::vector<SourceFile>& files, const fs::path& outDir, int level) {
  PackedSizes sizes;
  for (const SourceFile& file : files) sizes.content += file.size;
  FrameCompressor compressor(level);
  bundle::ManifestWriter manifest;
  OutputFile payload(outDir / kPayloadFileName);
  payload.write(std::vector<std::uint8_t>(format::kFramesOffset, 0));  // the CRC, written last
  std::uint32_t payloadCrc = 0;
  std::uint64_t offset = 0;
  Progress progress(L"packing", sizes.content);
  for (const SourceFile& file : files) {
    const std::vector<std::uint8_t> content = readWholeFile(file.path);
    if (content.size() != file.size) {
      throw Failure(fmt::format(L"{} changed while being packed", quoted(file.path)));
    }
    const std::vector<std::uint8_t> frame = compressor.compress(content);
    if (format::kFramesOffset + offset + frame.size() >= format::kFieldLimit) {
      throw Failure(
          fmt::format(L"the payload would reach 2^31 bytes at {}; a launcher reads "
                      L"no larger bundle",
                      quoted(file.path)));
    }
    manifest.add({file.directory, file.name, static_cast<std::uint32_t>(content.size()),
                  bundle::crc32c::value(content), static_cast<std::uint32_t>(frame.size()),
                  bundle::crc32c::value(frame), static_cast<std::uint32_t>(offset), file.fileTime});
    payloadCrc = bundle::crc32c::extend(payloadCrc, frame.data(), frame.size());
    payload.write(frame);
    offset += frame.size();
    progress.advance(file.size);
  }
  std::vector<std::uint8_t> crc;
  sys::appendLe32(crc, payloadCrc);
  payload.overwrite(format::kCrcOffset, crc);

  const std::vector<std::uint8_t> manifestBytes = std::move(manifest).finish();
  if (manifestBytes.size() >= format::kFieldLimit) {
    throw Failure(L"the manifest would reach 2^31 bytes; a launcher reads no larger bundle");
  }
  OutputFile manifestFile(outDir / kManifestFileName);
  manifestFile.write(manifestBytes);
  payload.commit();
  manifestFile.commit();
  sizes.manifest = manifestBytes.size();
  sizes.payload = format::kFramesOffset + offset;
  return sizes;
}

int run(const Arguments& arguments) {
  const fs::path appDir = sys::pathFromWide(arguments.positional[0]);
  const fs::path outDir = sys::pathFromWide(arguments.positional[1]);
  const int level = parseLevel(arguments.option(L"--level"));
  std::error_code error;
  const fs::path appRoot = fs::weakly_canonical(appDir, error);
  const fs::path outRoot = fs::weakly_canonical(outDir, error);
  if (!error &&
      std::mismatch(appRoot.begin(), appRoot.end(), outRoot.begin(), outRoot.end()).first ==
          appRoot.end()) {
    throw Failure(
        fmt::format(L"OUT_DIR {} lies inside APP_DIR {}: the next pack would take the "
                    L"bundle in",
                    quoted(outDir), quoted(appDir)));
  }
  const AppFolder app = scanAppFolder(appDir);
  for (const std::wstring& note : app.notes) writeError(L"note: " + note + L"\n");

  prepareBundleFolder(outDir, arguments.flag(L"--force"));
  const PackedSizes sizes = writeBundle(app.files, outDir, level);
  writeOut(fmt::format(L"packed {} ({}) into {} ({} bytes) and {} ({} bytes)\n",
                       counted(app.files.size(), L"file", L"files"),
                       counted(sizes.content, L"byte", L"bytes"),
                       quoted(outDir / kManifestFileName), sizes.manifest,
                       quoted(outDir / kPayloadFileName), sizes.payload));
  return 0;
}

constexpr std::wstring_view kOptions[] = {L"--level"};
constexpr std::wstring_view kFlags[] = {L"--force", L"--progress"};

}  // namespace

const Command kPackCommand = {
    L"pack",
    L"pack APP_DIR -o OUT_DIR [--level N] [--force] [--progress]",
    L"Packs every file under APP_DIR into OUT_DIR/manifest.bin and OUT_DIR/payload.bin,\n"
    L"the two resources a launcher carries. Each file becomes one Zstandard frame and\n"
    L"keeps its last-write time. The same folder always gives the same bytes.\n"
    L"'pack APP_DIR OUT_DIR' works too.\n\n"
    L"Refused, each path named: files of 2 GiB or more; names that are not valid\n"
    L"Unicode, that a launcher refuses or that a Windows file system cannot hold;\n"
    L"names that Windows holds as one in letter case; 'Config.ini' and\n"
    L"'VantorConfig.json' in any folder and letter case, which a launcher keeps as\n"
    L"the user's; at the top, the legacy files that a launcher removes, such as\n"
    L"'hidapi.x86.dll'; symbolic links that leave APP_DIR or loop.\n\n"
    L"  -o, --output OUT_DIR  where the bundle goes: a new or empty folder, or one\n"
    L"                        holding only an earlier bundle, which is replaced\n"
    L"  --level N             Zstandard compression level, 1 to 22 (default 19)\n"
    L"  -f, --force           writes into a folder that holds other files too\n"
    L"  --progress            a progress line also when standard error is no terminal\n",
    kOptions,
    2,
    run,
    kFlags,
    OutputArgument::kOptionOrLast,
};

}  // namespace aerolith::pack
