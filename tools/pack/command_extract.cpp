// extract BUNDLE DIR: writes every entry of a bundle with its last-write time.
#include <fmt/xchar.h>

#include "bundle/loading.hpp"
#include "pack/bundle_check.hpp"
#include "pack/commands.hpp"
#include "pack/console.hpp"
#include "pack/failure.hpp"
#include "pack/file_io.hpp"
#include "pack/progress.hpp"
#include "sys/file_time.hpp"
#include "sys/path.hpp"

namespace aerolith::pack {
namespace {

namespace fs = std::filesystem;

void writeEntry(const fs::path& target, std::span<const std::uint8_t> content,
                std::uint64_t fileTime) {
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  if (error) {
    throw Failure(
        fmt::format(L"cannot create {}: {}", quoted(target.parent_path()), describe(error)));
  }
  OutputFile out(target);
  out.write(content);
  out.commit();
  sys::setLastWriteTime(target, fileTime, error);
  if (error) {
    throw Failure(
        fmt::format(L"cannot set the last-write time of {}: {}", quoted(target), describe(error)));
  }
}

int run(const Arguments& arguments) {
  const LoadedBundle bundle(readBundleBytes(sys::pathFromWide(arguments.positional[0])));
  const fs::path dir = sys::pathFromWide(arguments.positional[1]);
  // Checked before the first file is written, as a launcher replacing one would.
  if (const auto failure = bundle::checkPayload(bundle.view())) {
    throw Failure(refusal(*failure, L""));
  }
  // Of entries with one path, a launcher installs the first only.
  const auto& entries = bundle.entries();
  const std::vector<std::size_t> first = firstOfEachPath(entries);
  std::uint64_t total = 0;
  std::size_t files = 0;
  for (std::size_t index = 0; index < entries.size(); ++index) {
    if (first[index] != index) {
      writeError(fmt::format(L"note: {} is left out: {} has the same path\n",
                             entryLabel(entries[index]), entryLabel(entries[first[index]])));
      continue;
    }
    total += static_cast<std::uint64_t>(entries[index].size);
    ++files;
  }
  Progress progress(L"extracting", total);
  for (std::size_t index = 0; index < entries.size(); ++index) {
    if (first[index] != index) continue;
    const bundle::FileEntry& entry = entries[index];
    writeEntry(dir / entry.relativePath.toFileSystemPath(), extractContent(entry), entry.fileTime);
    progress.advance(static_cast<std::uint64_t>(entry.size));
  }
  writeOut(fmt::format(L"extracted {} files ({} bytes) into {}\n", files, total, quoted(dir)));
  return 0;
}

}  // namespace

const Command kExtractCommand = {
    L"extract",
    L"extract BUNDLE DIR",
    L"Writes every file of a bundle under DIR, in its folder, with its last-write\n"
    L"time, after the checks a launcher makes. Of entries with the same path only\n"
    L"the first is written, as a launcher installs it. Existing files are replaced.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n",
    {},
    2,
    run,
};

}  // namespace aerolith::pack
