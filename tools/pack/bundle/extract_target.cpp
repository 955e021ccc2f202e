#include "pack/bundle/extract_target.hpp"

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace fs = std::filesystem;
namespace {

[[noreturn]] void refuseLink(const fs::path& path) {
  throw Failure(
      fmt::format(L"{} is a link; extract writes nothing through a link and replaces "
                  L"none: remove it, or extract into another folder",
                  quoted(path)));
}

[[noreturn]] void failed(std::wstring_view what, const fs::path& path,
                         const std::error_code& error) {
  throw Failure(fmt::format(L"cannot {} {}: {}", what, quoted(path), describe(error)));
}

// The value of a call that worked; the tool's failure for one that did not.
template <typename T>
T take(base::Result<T> result, std::wstring_view what, const fs::path& path) {
  if (!result) failed(what, path, result.error());
  return std::move(*result);
}

void check(const base::Result<void>& result, std::wstring_view what, const fs::path& path) {
  if (!result) failed(what, path, result.error());
}

}  // namespace

ExtractTarget::ExtractTarget(fs::path dir, bool replaceFiles)
    : dir_(std::move(dir)), replaceFiles_(replaceFiles) {
  std::error_code error;
  fs::create_directories(dir_, error);
  if (error) failed(L"create", dir_, error);
  folder_ = take(sys::Folder::open(dir_), L"open", dir_);
  const sys::Listing<sys::FolderEntry> held = folder_.list();
  if (held.endedEarly) failed(L"list", dir_, held.endedEarly);
  if (!held.entries.empty() && !replaceFiles_) {
    throw Failure(
        fmt::format(L"{} is not empty; extract writes into an empty or new folder, or "
                    L"with -f/--force replaces the files the bundle holds and leaves "
                    L"the rest",
                    quoted(dir_)));
  }
}

// The entry's folder, reached and made component by component: this one, or a
// sub-folder opened into `held`. `reached` ends as its path.
const sys::Folder& ExtractTarget::enterFolders(const bundle::FileEntry& entry, fs::path& reached,
                                               sys::Folder& held) const {
  const sys::Folder* folder = &folder_;
  reached = dir_;
  for (const fs::path& component : bundle::BundlePath(entry.directory).toFileSystemPath()) {
    if (component.empty()) continue;
    reached /= component;
    const sys::ObjectKind kind = take(folder->kindOf(component), L"open", reached);
    if (kind == sys::ObjectKind::kLink) refuseLink(reached);
    if (kind == sys::ObjectKind::kFile) {
      throw Failure(fmt::format(L"{} is a file where the bundle has a folder", quoted(reached)));
    }
    held = take(kind == sys::ObjectKind::kMissing ? folder->createFolder(component)
                                                  : folder->openFolder(component),
                L"create", reached);
    folder = &held;
  }
  return *folder;
}

void ExtractTarget::write(const bundle::FileEntry& entry,
                          std::span<const std::uint8_t> content) const {
  fs::path path;
  sys::Folder held;
  const sys::Folder& folder = enterFolders(entry, path, held);
  const fs::path name = sys::pathFromWide(entry.name);
  path /= name;
  const sys::ObjectKind kind = take(folder.kindOf(name), L"open", path);
  if (kind == sys::ObjectKind::kLink) refuseLink(path);
  if (kind == sys::ObjectKind::kDirectory) {
    throw Failure(fmt::format(L"{} is a folder where the bundle has a file", quoted(path)));
  }
  if (kind == sys::ObjectKind::kFile) {
    if (!replaceFiles_)
      throw Failure(fmt::format(L"{} exists; -f/--force replaces it", quoted(path)));
    take(folder.removeObject(name), L"replace", path);
  }
  sys::OutputFile out = take(folder.createFile(name), L"write", path);
  check(out.write(content), L"write", path);
  check(out.close(), L"write", path);
  sys::LastWriteTimeWriter stamp =
      take(folder.openForTimeStamp(name), L"set the last-write time of", path);
  check(stamp.set(entry.fileTime), L"set the last-write time of", path);
}

}  // namespace aerolith::pack
