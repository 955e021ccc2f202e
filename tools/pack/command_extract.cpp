// extract BUNDLE DIR: writes every entry of a bundle with its last-write time.
#include <fmt/xchar.h>

#include "bundle/format.hpp"
#include "pack/bundle_reader.hpp"
#include "pack/commands.hpp"
#include "pack/console.hpp"
#include "pack/failure.hpp"
#include "pack/file_io.hpp"
#include "pack/file_names.hpp"
#include "pack/progress.hpp"
#include "sys/file_time.hpp"
#include "sys/path.hpp"

namespace aerolith::pack {
namespace {

namespace fs = std::filesystem;

// Where the entry goes under `dir`. Every component must be a plain Windows
// name, so that no entry can reach outside `dir`.
fs::path targetPath(const fs::path& dir, const bundle::EntryRecord& entry) {
  fs::path target = dir;
  const std::wstring_view directory = entry.directory;
  std::vector<std::wstring_view> components;
  for (std::size_t start = 0; !directory.empty();) {
    const std::size_t end = directory.find(bundle::format::kDirectorySeparator, start);
    components.push_back(directory.substr(start, end - start));
    if (end == std::wstring_view::npos) break;
    start = end + 1;
  }
  components.push_back(entry.name);
  for (const std::wstring_view component : components) {
    if (const std::wstring why = windowsNameProblem(component); !why.empty()) {
      throw Failure(fmt::format(L"entry '{}' cannot be extracted: {}", relativePath(entry), why));
    }
    target /= sys::pathFromWide(component);
  }
  return target;
}

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
  const BundleBytes bundle = loadBundle(sys::pathFromWide(arguments.positional[0]));
  const fs::path dir = sys::pathFromWide(arguments.positional[1]);
  checkResourceCrc(bundle.manifest, L"manifest");
  const ManifestEntries manifest = readEntries(bundle.manifest, bundle.payload.size());
  checkResourceCrc(bundle.payload, L"payload");

  std::vector<fs::path> targets;
  std::uint64_t total = 0;
  for (const bundle::EntryRecord& entry : manifest.entries) {
    targets.push_back(targetPath(dir, entry));
    total += entry.size;
  }
  Progress progress(L"extracting", total);
  for (std::size_t index = 0; index < targets.size(); ++index) {
    const bundle::EntryRecord& entry = manifest.entries[index];
    std::vector<std::uint8_t> content;
    try {
      content = extractContent(bundle, entry);
    } catch (const Failure& failure) {
      throw Failure(
          fmt::format(L"entry {} '{}': {}", index, relativePath(entry), failure.message()));
    }
    writeEntry(targets[index], content, entry.fileTime);
    progress.advance(entry.size);
  }
  writeOut(
      fmt::format(L"extracted {} files ({} bytes) into {}\n", targets.size(), total, quoted(dir)));
  return 0;
}

}  // namespace

const Command kExtractCommand = {
    L"extract",
    L"extract BUNDLE DIR",
    L"Writes every file of a bundle under DIR, in its folder, with its last-write\n"
    L"time, after the checks a launcher makes. Existing files are replaced.\n\n"
    L"BUNDLE is a folder holding manifest.bin and payload.bin, or a launcher image.\n",
    {},
    2,
    run,
};

}  // namespace aerolith::pack
