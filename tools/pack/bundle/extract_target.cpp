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

}  // namespace

ExtractTarget::ExtractTarget(fs::path dir, bool replaceFiles)
    : dir_(std::move(dir)), replaceFiles_(replaceFiles) {
  std::error_code error;
  fs::create_directories(dir_, error);
  if (error) failed(L"create", dir_, error);
  folder_ = sys::Folder::open(dir_, error);
  if (!folder_.isOpen()) failed(L"open", dir_, error);
  const std::vector<sys::FolderEntry> held = folder_.list(error);
  if (error) failed(L"list", dir_, error);
  if (!held.empty() && !replaceFiles_) {
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
  std::error_code error;
  const sys::Folder* folder = &folder_;
  reached = dir_;
  for (const fs::path& component : bundle::BundlePath(entry.directory).toFileSystemPath()) {
    if (component.empty()) continue;
    reached /= component;
    const sys::ObjectKind kind = folder->kindOf(component, error);
    if (error) failed(L"open", reached, error);
    if (kind == sys::ObjectKind::kLink) refuseLink(reached);
    if (kind == sys::ObjectKind::kFile) {
      throw Failure(fmt::format(L"{} is a file where the bundle has a folder", quoted(reached)));
    }
    sys::Folder next = kind == sys::ObjectKind::kMissing ? folder->createFolder(component, error)
                                                         : folder->openFolder(component, error);
    if (!next.isOpen()) failed(L"create", reached, error);
    held = std::move(next);
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
  std::error_code error;
  const sys::ObjectKind kind = folder.kindOf(name, error);
  if (error) failed(L"open", path, error);
  if (kind == sys::ObjectKind::kLink) refuseLink(path);
  if (kind == sys::ObjectKind::kDirectory) {
    throw Failure(fmt::format(L"{} is a folder where the bundle has a file", quoted(path)));
  }
  if (kind == sys::ObjectKind::kFile) {
    if (!replaceFiles_)
      throw Failure(fmt::format(L"{} exists; -f/--force replaces it", quoted(path)));
    if (!folder.removeObject(name, error) && error) failed(L"replace", path, error);
  }
  sys::OutputFile out = folder.createFile(name, error);
  if (!out.isOpen() || !out.write(content, error) || !out.close(error))
    failed(L"write", path, error);
  sys::LastWriteTimeWriter stamp = folder.openForTimeStamp(name, error);
  if (!stamp.isOpen() || !stamp.set(entry.fileTime, error)) {
    failed(L"set the last-write time of", path, error);
  }
}

}  // namespace aerolith::pack
