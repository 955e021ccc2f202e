// pack APP_DIR -o OUT_DIR: writes manifest.bin and payload.bin for a folder.
#include <algorithm>
#include <charconv>
#include <deque>
#include <thread>
#include <tuple>

#include <fmt/xchar.h>

#include "base/byte_order.hpp"
#include "base/work_ahead.hpp"
#include "crc32c/crc32c.hpp"
#include "bundle/format.hpp"
#include "bundle/manifest_writer.hpp"
#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/base/sha256.hpp"
#include "pack/bundle/app_scan.hpp"
#include "pack/bundle/bundle_files.hpp"
#include "pack/bundle/frames.hpp"
#include "pack/bundle/output_folder.hpp"
#include "pack/bundle/path_filter.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/findings.hpp"
#include "pack/cli/json_writer.hpp"
#include "pack/cli/progress.hpp"
#include "pack/cli/wording.hpp"
#include "pack/commands/commands.hpp"
#include "sys/fs/path.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

namespace fs = std::filesystem;
namespace format = bundle::format;

// A whole number option from `lowest` to `highest`, or `fallback` when absent.
int parseNumber(const Arguments& arguments, std::wstring_view name, int lowest, int highest,
                int fallback) {
  const std::optional<std::wstring> option = arguments.option(name);
  if (!option) return fallback;
  const std::string digits = text::toUtf8(*option);
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || value < lowest ||
      value > highest) {
    throw UsageError(fmt::format(L"{} takes a whole number from {} to {}, not '{}'", name, lowest,
                                 highest, *option));
  }
  return value;
}

constexpr int kMostJobs = 256;

int defaultJobs() {
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMostJobs);
}

struct PackedSizes {
  std::uint64_t content = 0;
  std::uint64_t manifest = 0;
  std::uint64_t payload = 0;
};

// What a file adds to the bundle: the same bytes whichever thread packs it.
struct PackedFile {
  std::uint32_t contentCrc = 0;
  std::vector<std::uint8_t> frame;
  std::uint32_t frameCrc = 0;
};

PackedFile packFile(const SourceFile& file, FrameCompressor& compressor) {
  const std::vector<std::uint8_t> content = readWholeFile(file.path);
  if (content.size() != file.size) {
    throw Failure(fmt::format(L"{} changed while being packed", quoted(file.path)));
  }
  PackedFile packed{crc32c::value(content), compressor.compress(content), 0};
  packed.frameCrc = crc32c::value(packed.frame);
  return packed;
}

// How many bytes of files may be read and compressed ahead of the one being
// written; a larger file waits for its turn and is compressed alone.
constexpr std::size_t kPackingBudget = 256 * 1024 * 1024;

// Compresses the files on `jobs` threads, each with a compressor of its own,
// and writes their frames into the payload in bundle order as they come, so
// that the output does not depend on the number of threads; builds the
// manifest beside it.
PackedSizes writeBundle(const std::vector<SourceFile>& files, const fs::path& outDir, int level,
                        int jobs) {
  PackedSizes sizes;
  std::vector<std::size_t> weights;
  for (const SourceFile& file : files) {
    sizes.content += file.size;
    weights.push_back(static_cast<std::size_t>(file.size));
  }
  // Opened before any work, so that an output that cannot be written is found first.
  OutputFile payload(outDir / kPayloadFileName);
  OutputFile manifestFile(outDir / kManifestFileName);
  // jobs - 1 workers, and this thread compresses what none has begun.
  std::deque<FrameCompressor> compressors;
  while (compressors.size() < static_cast<std::size_t>(jobs)) compressors.emplace_back(level);
  base::WorkAhead<PackedFile> packing(
      std::move(weights),
      [&](std::size_t index, unsigned worker) {
        return packFile(files[index], compressors[worker]);
      },
      static_cast<unsigned>(jobs - 1), kPackingBudget);

  bundle::ManifestWriter manifest;
  payload.write(std::vector<std::uint8_t>(format::kFramesOffset, 0));  // the CRC, written last
  std::uint32_t payloadCrc = 0;
  std::uint64_t offset = 0;
  Progress progress(L"packing", sizes.content);
  for (const SourceFile& file : files) {
    const PackedFile packed = packing.take();
    const std::vector<std::uint8_t>& frame = packed.frame;
    if (format::kFramesOffset + offset + frame.size() >= format::kFieldLimit) {
      throw Failure(
          fmt::format(L"the payload would reach 2^31 bytes at {}; a launcher reads "
                      L"no larger bundle",
                      quoted(file.path)));
    }
    manifest.add({file.directory, file.name, static_cast<std::uint32_t>(file.size),
                  packed.contentCrc, static_cast<std::uint32_t>(frame.size()), packed.frameCrc,
                  static_cast<std::uint32_t>(offset), file.fileTime});
    payloadCrc = crc32c::extend(payloadCrc, frame.data(), frame.size());
    payload.write(frame);
    offset += frame.size();
    progress.advance(file.size);
  }
  std::vector<std::uint8_t> crc;
  base::appendLe32(crc, payloadCrc);
  payload.overwrite(format::kCrcOffset, crc);

  const std::vector<std::uint8_t> manifestBytes = std::move(manifest).finish();
  if (manifestBytes.size() >= format::kFieldLimit) {
    throw Failure(L"the manifest would reach 2^31 bytes; a launcher reads no larger bundle");
  }
  manifestFile.write(manifestBytes);
  payload.commit();
  manifestFile.commit();
  sizes.manifest = manifestBytes.size();
  sizes.payload = format::kFramesOffset + offset;
  return sizes;
}

ScanOptions scanOptions(const Arguments& arguments) {
  std::optional<std::vector<std::wstring>> listed;
  if (const auto list = arguments.option(L"--files-from")) {
    const std::vector<std::uint8_t> bytes = readWholeFile(sys::pathFromWide(*list));
    listed =
        parseFileList(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  return {PathFilter(arguments.values(L"--exclude"), std::move(listed)),
          arguments.flag(L"--allow-no-main")};
}

// The summary for release notes: sizes and the digests of the two files.
std::wstring summaryJson(const AppFolder& app, const PackedSizes& sizes, const fs::path& outDir,
                         const std::vector<Finding>& warnings) {
  JsonWriter out;
  out.beginObject()
      .key(L"ok")
      .boolean(true)
      .key(L"files")
      .number(app.files.size())
      .key(L"bytes")
      .number(sizes.content)
      .key(L"compressedBytes")
      .number(sizes.payload - format::kFramesOffset);
  for (const auto& [key, name, bytes] : {std::tuple(L"manifest", kManifestFileName, sizes.manifest),
                                         std::tuple(L"payload", kPayloadFileName, sizes.payload)}) {
    out.key(key)
        .beginObject()
        .key(L"path")
        .string(shownPath(outDir / name))
        .key(L"bytes")
        .number(bytes)
        .key(L"sha256")
        .string(sha256OfFile(outDir / name))
        .endObject();
  }
  writeFindings(out, L"warnings", warnings);
  return out.endObject().finish();
}

int run(const Arguments& arguments) {
  const fs::path appDir = sys::pathFromWide(arguments.positional[0]);
  const fs::path outDir = sys::pathFromWide(arguments.positional[1]);
  const int level = parseNumber(arguments, L"--level", FrameCompressor::kMinLevel,
                                FrameCompressor::kMaxLevel, FrameCompressor::kDefaultLevel);
  const int jobs = parseNumber(arguments, L"--jobs", 1, kMostJobs, defaultJobs());
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
  checkBundleFolder(outDir, arguments.flag(L"--force"));
  const AppFolder app = scanAppFolder(appDir, scanOptions(arguments));
  std::vector<Finding> warnings;
  for (const std::wstring& note : app.notes) warnings.push_back({L"pack-note", note, {}});
  const bool json = arguments.flag(L"--json");
  if (!json) writeError(findingLines(warnings, L"note"));  // before the progress line

  makeBundleFolder(outDir);
  const PackedSizes sizes = writeBundle(app.files, outDir, level, jobs);
  if (json) {
    writeOut(summaryJson(app, sizes, outDir, warnings));
    return 0;
  }
  writeOut(fmt::format(L"packed {} ({}) into {} ({} bytes) and {} ({} bytes)\n",
                       counted(app.files.size(), L"file", L"files"),
                       counted(sizes.content, L"byte", L"bytes"),
                       quoted(outDir / kManifestFileName), sizes.manifest,
                       quoted(outDir / kPayloadFileName), sizes.payload));
  return 0;
}

constexpr std::wstring_view kOptions[] = {L"--level", L"--jobs", L"--exclude", L"--files-from"};
constexpr std::wstring_view kFlags[] = {L"--force", L"--progress", L"--allow-no-main", L"--json"};

}  // namespace

const Command kPackCommand = {
    L"pack",
    L"pack APP_DIR -o OUT_DIR [--exclude GLOB]... [--files-from FILE] [--level N] [--jobs N] "
    L"[--force] [--json]",
    L"Packs every file under APP_DIR into OUT_DIR/manifest.bin and OUT_DIR/payload.bin,\n"
    L"the two resources a launcher carries. Each file becomes one Zstandard frame and\n"
    L"keeps its last-write time. The same folder always gives the same bytes.\n"
    L"'pack APP_DIR OUT_DIR' works too.\n\n"
    L"Refused, each path named: files of 2 GiB or more; names that are not valid\n"
    L"Unicode, that a launcher refuses or that a Windows file system cannot hold;\n"
    L"names that Windows holds as one in letter case; 'Config.ini' and\n"
    L"'VantorConfig.json' in any folder and letter case, which a launcher keeps as\n"
    L"the user's; at the top, the legacy files that a launcher removes, such as\n"
    L"'hidapi.x86.dll'; symbolic links that leave APP_DIR or loop; a folder without\n"
    L"'Aerolith.exe' at the top, exactly so spelt, the program a launcher starts.\n\n"
    L"  -o, --output OUT_DIR  where the bundle goes: a new or empty folder\n"
    L"  --exclude GLOB        leaves out files and folders that match, as often as\n"
    L"                        given: '*' and '?' within a name, '**' across folders;\n"
    L"                        without '/' it matches a name in any folder\n"
    L"                        ('*.pdb'), with '/' the path below APP_DIR\n"
    L"                        ('Docs/**/*.md')\n"
    L"  --files-from FILE     packs only the files FILE lists, one path below APP_DIR\n"
    L"                        a line (UTF-8; '#' lines skipped); a listed file that\n"
    L"                        is missing is refused\n"
    L"  --level N             Zstandard compression level, 1 to 22 (default 19)\n"
    L"  --jobs N              files compressed at once, 1 to 256 (default: one per\n"
    L"                        processor); the bundle is the same for any number\n"
    L"  -f, --force           writes into a folder that holds a bundle or other files,\n"
    L"                        replacing the bundle\n"
    L"  --progress            a progress line also when standard error is no terminal\n"
    L"  --allow-no-main       packs a folder without 'Aerolith.exe' (for tests; 'verify'\n"
    L"                        refuses such a release)\n"
    L"  --json                one JSON document instead: ok, files, bytes,\n"
    L"                        compressedBytes, manifest and payload (path, bytes,\n"
    L"                        sha256 of the file) and the warnings\n",
    kOptions,
    2,
    run,
    kFlags,
    OutputArgument::kOptionOrLast,
};

}  // namespace aerolith::pack
