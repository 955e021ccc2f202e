#include "install/file_entry_writer.hpp"

#include <span>
#include <system_error>

#include "diag/trace_logger.hpp"
#include "sys/file_objects.hpp"
#include "sys/file_time.hpp"
#include "sys/output_file.hpp"
#include "sys/path.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"FileEntry";

// `base` with the non-empty components of `relative` below it: no trailing
// separator, whichever way `relative` ended.
fs::path below(const fs::path& base, const fs::path& relative) {
  fs::path path = base;
  for (const fs::path& component : relative) {
    if (!component.empty()) path /= component;
  }
  return path;
}

struct FolderObstacle {
  fs::path path;
  bool missing = false;  // otherwise something is in the way
};

// The first object on the way from the install directory down to the entry's
// folder that is not a real folder: a missing one, a file, or a link, which is
// replaced rather than written through. The install directory itself counts as
// a folder wherever its links lead, since the selection chose it so.
std::optional<FolderObstacle> firstObstacle(const fs::path& installDirectory,
                                            const fs::path& relativeFolder,
                                            std::error_code& error) {
  if (!sys::isDirectoryFollowingLinks(installDirectory, error)) {
    if (error) return std::nullopt;
    const bool missing = sys::objectKind(installDirectory, error) == sys::ObjectKind::kMissing;
    return FolderObstacle{installDirectory, missing};
  }
  fs::path folder = installDirectory;
  for (const fs::path& component : relativeFolder) {
    if (component.empty()) continue;
    folder /= component;
    const sys::ObjectKind kind = sys::objectKind(folder, error);
    if (error) return std::nullopt;
    if (kind != sys::ObjectKind::kDirectory) {
      return FolderObstacle{folder, kind == sys::ObjectKind::kMissing};
    }
  }
  return std::nullopt;
}

void logCreateException() { AEROLITH_TRACE(kTag, L" -  - create exception"); }

// Makes the entry's folder a real folder chain. A failure is logged and left
// for the write to meet.
void prepareFolder(const fs::path& installDirectory, const fs::path& relativeFolder) {
  std::error_code error;
  const std::optional<FolderObstacle> obstacle =
      firstObstacle(installDirectory, relativeFolder, error);
  if (error) return logCreateException();
  if (!obstacle) {
    AEROLITH_TRACE(kTag, L" - exists and is directory, skip create");
    return;
  }
  if (obstacle->missing) {
    AEROLITH_TRACE(kTag, L" - not exists, create");
  } else {
    AEROLITH_TRACE(kTag, L" - exists but is not directory, remove and create");
    sys::removeTree(obstacle->path, error);
    if (error) return logCreateException();
  }
  const bool created = sys::createFolders(below(installDirectory, relativeFolder), error);
  if (error) return logCreateException();
  AEROLITH_TRACE(kTag, L" -  - create result: {}", created ? L"ok" : L"FAIL");
}

// Removes whatever is at the file's path, a folder with all it holds, a link as
// a link. Nothing is removed beyond a link left on the way: that counts as a
// failed removal. A failure is logged and left for the write to meet.
void clearFilePath(const fs::path& filePath, bool beyondLink) {
  std::error_code error;
  const std::uintmax_t removed = beyondLink ? 0 : sys::removeTree(filePath, error);
  if (beyondLink || error) {
    AEROLITH_TRACE(kTag, L" -  - remove exception");
  } else if (removed > 0) {
    AEROLITH_TRACE(kTag, L" -  - file removed");
  } else {
    AEROLITH_TRACE(kTag, L" -  - file remove failed");
  }
}

// Whether a link is on the way from the install directory down to `relative`,
// that object included: one that could not be replaced (Wine cannot remove
// links, and resolves them itself). Anything done there would reach outside the
// install directory.
bool linkOnTheWay(const fs::path& installDirectory, const fs::path& relative) {
  fs::path path = installDirectory;
  for (const fs::path& component : relative) {
    if (component.empty()) continue;
    path /= component;
    std::error_code error;
    if (sys::objectKind(path, error) == sys::ObjectKind::kLink) return true;
  }
  return false;
}

// One truncating open, one write, one close; no retry.
bool writeContent(const fs::path& filePath, bool refuseOpen,
                  std::span<const std::uint8_t> content) {
  if (refuseOpen) {
    AEROLITH_TRACE(kTag, L" -  - open failed - break");
    return false;
  }
  std::error_code error;
  sys::OutputFile out(filePath, error);
  if (!out.isOpen()) {
    AEROLITH_TRACE(kTag, L" -  - open failed - break");
    return false;
  }
  return out.write(content, error) && out.close(error);
}

}  // namespace

void updateFileTime(const fs::path& path, std::uint64_t fileTime) {
  AEROLITH_TRACE(kTag, L" - update file time begin");
  std::error_code error;
  sys::LastWriteTimeWriter file(path, error);
  AEROLITH_TRACE(kTag, L" - update file time - create file");
  if (file.isOpen()) {
    file.set(fileTime, error);
    AEROLITH_TRACE(kTag, L" - update file time - set time");
    file.close();
    AEROLITH_TRACE(kTag, L" - update file time - close file");
  }
  AEROLITH_TRACE(kTag, L" - update file time end");
}

std::optional<WriteFailure> writeEntry(const bundle::FileEntry& entry,
                                       const fs::path& installDirectory) {
  const std::wstring& directory = entry.directory;
  const std::wstring& name = entry.name;
  const fs::path relativeFolder = bundle::BundlePath(directory).toFileSystemPath();
  const fs::path dirPath = installDirectory / relativeFolder;
  AEROLITH_TRACE(kTag, L" - create directory '{}' ({})", directory, sys::wideFromPath(dirPath));
  prepareFolder(installDirectory, relativeFolder);

  AEROLITH_TRACE(kTag, L" - write file content");
  const fs::path fileName = sys::pathFromWide(name);
  const fs::path filePath = dirPath / fileName;
  const bool folderBeyondLink = linkOnTheWay(installDirectory, relativeFolder);
  clearFilePath(filePath, folderBeyondLink);
  AEROLITH_TRACE(kTag, L" - write to '{}' '{}' ({})", directory, name, sys::wideFromPath(filePath));
  const bool beyondLink =
      folderBeyondLink || linkOnTheWay(installDirectory, relativeFolder / fileName);
  if (!writeContent(filePath, beyondLink, entry.content)) return WriteFailure{filePath};
  updateFileTime(filePath, entry.fileTime);
  AEROLITH_TRACE(kTag, L" - file write ok");
  return std::nullopt;
}

}  // namespace aerolith::install
