#include "install/file_entry_writer.hpp"

#include <algorithm>
#include <span>
#include <system_error>
#include <vector>

#include "bundle/extraction.hpp"
#include "diag/progress.hpp"
#include "diag/trace_logger.hpp"
#include "install/lock_wait.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"FileEntry";

void logCreateException() { AEROLITH_TRACE(kTag, L" -  - create exception"); }

// The folder an entry's file goes in, as it is being reached from the install
// folder: either the install folder itself or a sub-folder held open here.
class FolderChain {
 public:
  explicit FolderChain(const sys::Folder& top) : current_(&top) {}

  const sys::Folder& current() const { return *current_; }

  void enter(sys::Folder folder) {
    opened_ = std::move(folder);
    current_ = &opened_;
  }

  void lose() {
    opened_ = sys::Folder();
    current_ = &opened_;
  }

  // The sub-folder reached, for the caller to keep; closed for the top.
  sys::Folder release() {
    current_ = &opened_;
    return std::move(opened_);
  }

 private:
  const sys::Folder* current_;
  sys::Folder opened_;
};

// Reaches the entry's folder through real folders only, creating what is
// missing. The first object on the way that is no real folder (a file, or a
// link, which is never entered) is replaced by one. Logs as it goes; on a
// failure the chain is lost and the write meets it.
void prepareFolder(FolderChain& chain, const std::vector<fs::path>& components) {
  std::size_t level = 0;
  sys::ObjectKind kind = sys::ObjectKind::kDirectory;
  for (; level < components.size(); ++level) {
    const base::Result<sys::ObjectKind> found = chain.current().kindOf(components[level]);
    if (!found) return logCreateException(), chain.lose();
    kind = *found;
    if (kind != sys::ObjectKind::kDirectory) break;
    base::Result<sys::Folder> next = chain.current().openFolder(components[level]);
    if (!next) return logCreateException(), chain.lose();
    chain.enter(std::move(*next));
  }
  if (level == components.size()) {
    AEROLITH_TRACE(kTag, L" - exists and is directory, skip create");
    return;
  }
  if (kind == sys::ObjectKind::kMissing) {
    AEROLITH_TRACE(kTag, L" - not exists, create");
  } else {
    AEROLITH_TRACE(kTag, L" - exists but is not directory, remove and create");
    if (!chain.current().removeTree(components[level])) return logCreateException(), chain.lose();
  }
  bool created = false;
  for (; level < components.size(); ++level) {
    base::Result<sys::Folder> next = chain.current().createFolder(components[level]);
    created = created || next.ok();
    // One that appeared meanwhile is used as it is, if it is a real folder.
    if (!next) next = chain.current().openFolder(components[level]);
    if (!next) return logCreateException(), chain.lose();
    chain.enter(std::move(*next));
  }
  AEROLITH_TRACE(kTag, L" -  - create result: {}", created ? L"ok" : L"FAIL");
}

// Removes whatever is at the file's name, a folder with all it holds, a link
// as a link. A failure is logged and left for the write to meet.
void clearFileName(const sys::Folder& folder, const fs::path& name, LockWait<>& wait) {
  const base::Result<std::uintmax_t> removed =
      folder.isOpen() ? wait.run([&] { return folder.removeTree(name); })
                      : base::fail(std::make_error_code(std::errc::bad_file_descriptor));
  if (!removed) {
    AEROLITH_TRACE(kTag, L" -  - remove exception");
  } else if (*removed > 0) {
    AEROLITH_TRACE(kTag, L" -  - file removed");
  } else {
    AEROLITH_TRACE(kTag, L" -  - file remove failed");
  }
}

// Large contents are written in pieces of this size, each a sign of life for
// the watchdog; smaller ones in one call.
constexpr std::size_t kWritePiece = 4 * 1024 * 1024;

base::Result<void> writePieces(sys::OutputFile& out, std::span<const std::uint8_t> content,
                               diag::Progress& progress) {
  do {
    const std::span piece = content.first(std::min(content.size(), kWritePiece));
    if (base::Result<void> written = out.write(piece); !written) return written;
    progress.note();
    content = content.subspan(piece.size());
  } while (!content.empty());
  return {};
}

// The file was created here, exclusively and never through a link, and has no
// other name: the checks that a stamp of a file found in the folder makes
// (a link, other hard links, under Wine its place) hold by construction, so
// the time is set on the handle that wrote, without opening the file again.
// The lines are updateFileTime's.
void stampWritten(sys::OutputFile& out, std::uint64_t fileTime) {
  AEROLITH_TRACE(kTag, L" - update file time begin");
  AEROLITH_TRACE(kTag, L" - update file time - create file");
  // Best effort, as updateFileTime: a time left unset is restamped next start.
  static_cast<void>(out.setLastWriteTime(fileTime));
  AEROLITH_TRACE(kTag, L" - update file time - set time");
  AEROLITH_TRACE(kTag, L" - update file time - close file");
  AEROLITH_TRACE(kTag, L" - update file time end");
}

// One exclusive create (unless `out` is already the created file), the
// writes, the stamp, one close; only a passing hold on the name is waited
// out. Whatever is at the name by then (something planted after it was
// cleared) makes the create fail.
bool writeContent(const sys::Folder& folder, const fs::path& name, sys::OutputFile out,
                  std::span<const std::uint8_t> content, std::uint64_t fileTime,
                  diag::Progress& progress, LockWait<>& wait) {
  if (!out.isOpen() && folder.isOpen()) {
    base::Result<sys::OutputFile> created = wait.run([&] { return folder.createFile(name); });
    if (created) out = std::move(*created);
  }
  if (!out.isOpen()) {
    AEROLITH_TRACE(kTag, L" -  - open failed - break");
    return false;
  }
  base::Result<void> written = writePieces(out, content, progress);
  if (written) {
    stampWritten(out, fileTime);
    written = out.close();
    if (written) return true;
  }
  AEROLITH_TRACE(kTag, L" -  - write failed - break, ec = {}", written.error().value());
  return false;
}

// Of a streamed entry's content, how much the process keeps of what it
// decoded last: the decoder reads back mostly what is near, and the rest is
// left to the system, which reads it from the file should a match reach it.
constexpr std::size_t kKeptDecoded = 32 * 1024 * 1024;

// The components of an entry's directory text: '\' and '/' alike, empty ones skipped.
std::vector<fs::path> folderComponents(const std::wstring& directory) {
  std::vector<fs::path> components;
  for (const fs::path& component : bundle::BundlePath(directory).toFileSystemPath()) {
    if (!component.empty()) components.push_back(component);
  }
  return components;
}

}  // namespace

// The content is written and checked under a temporary name, so the name is
// cleared only when there is content to put there: until then an update
// leaves the file of the last release in place.
base::Result<void, StreamFailure> writeStreamedEntry(
    const bundle::FileEntry& entry, const sys::Folder& installFolder, bundle::Stage stage,
    diag::Progress& progress, const std::function<void(std::size_t)>& onPiece) {
  const std::vector<fs::path> components = folderComponents(entry.directory);
  const fs::path dirPath =
      installFolder.path() / bundle::BundlePath(entry.directory).toFileSystemPath();
  AEROLITH_TRACE(kTag, L" - create directory '{}' ({})", entry.directory,
                 sys::wideFromPath(dirPath));
  FolderChain chain(installFolder);
  prepareFolder(chain, components);
  AEROLITH_TRACE(kTag, L" - write file content");
  const fs::path name = sys::pathFromWide(entry.name);
  const fs::path filePath = dirPath / name;
  AEROLITH_TRACE(kTag, L" - write to '{}' '{}' ({})", entry.directory, entry.name,
                 sys::wideFromPath(filePath));
  const sys::Folder& folder = chain.current();
  LockWait<> wait(progress);
  base::Result<sys::StagedFile> staged =
      folder.isOpen() ? wait.run([&] { return folder.createStagedFile(entry.size); })
                      : base::fail(std::make_error_code(std::errc::bad_file_descriptor));
  if (!staged) {
    AEROLITH_TRACE(kTag, L" -  - open failed - break");
    return base::fail(WriteFailure{filePath});
  }
  sys::StagedFile& file = *staged;
  if (const base::Result<void> reserved = file.reserve([&] { progress.note(); }); !reserved) {
    AEROLITH_TRACE(kTag, L" -  - write failed - break, ec = {}", reserved.error().value());
    file.discard();
    return base::fail(WriteFailure{filePath});
  }
  AEROLITH_TRACE(kTag, L" -  - decode into '{}'", sys::wideFromPath(file.temporaryName()));
  std::size_t decoded = 0;
  const auto piece = [&](std::size_t bytes) {
    decoded += bytes;
    if (decoded > kKeptDecoded) file.release(decoded - kKeptDecoded);
    if (onPiece) onPiece(bytes);
  };
  const bundle::Status checked =
      bundle::decodeStreamedEntry(entry, stage, file.bytes(), progress, piece);
  if (!checked) {
    file.discard();
    return base::fail(checked.error());
  }
  clearFileName(folder, name, wait);
  if (const base::Result<void> committed = file.commit(name, entry.fileTime); !committed) {
    AEROLITH_TRACE(kTag, L" -  - write failed - break, ec = {}", committed.error().value());
    return base::fail(WriteFailure{filePath});
  }
  AEROLITH_TRACE(kTag, L" -  - stamped and moved over the name");
  AEROLITH_TRACE(kTag, L" - file write ok");
  return {};
}

void updateFileTime(const sys::Folder& folder, const fs::path& name, std::uint64_t fileTime) {
  AEROLITH_TRACE(kTag, L" - update file time begin");
  base::Result<sys::LastWriteTimeWriter> file = folder.openForTimeStamp(name);
  AEROLITH_TRACE(kTag, L" - update file time - create file");
  if (file) {
    // Best effort: a time left unset is restamped by the next start.
    static_cast<void>(file->set(fileTime));
    AEROLITH_TRACE(kTag, L" - update file time - set time");
    file->close();
    AEROLITH_TRACE(kTag, L" - update file time - close file");
  }
  AEROLITH_TRACE(kTag, L" - update file time end");
}

namespace {

// What follows the folder's preparation: the name cleared, the file written
// and stamped.
base::Result<void, WriteFailure> writeInFolder(const bundle::FileEntry& entry,
                                               const sys::Folder& folder, const fs::path& dirPath,
                                               diag::Progress& progress) {
  AEROLITH_TRACE(kTag, L" - write file content");
  const fs::path name = sys::pathFromWide(entry.name);
  const fs::path filePath = dirPath / name;
  LockWait<> wait(progress);
  // The exclusive create is tried first: where it succeeds nothing was at the
  // name, which is all that clearing it would have found (and logged), and a
  // first install saves the look at every name. It never follows a link nor
  // replaces anything, so where it fails the name is cleared as before.
  sys::OutputFile out;
  if (folder.isOpen()) {
    base::Result<sys::OutputFile> created = folder.createFile(name);
    if (created) out = std::move(*created);
  }
  if (out.isOpen()) {
    AEROLITH_TRACE(kTag, L" -  - file remove failed");
  } else {
    clearFileName(folder, name, wait);
  }
  AEROLITH_TRACE(kTag, L" - write to '{}' '{}' ({})", entry.directory, entry.name,
                 sys::wideFromPath(filePath));
  if (!writeContent(folder, name, std::move(out), entry.content, entry.fileTime, progress, wait)) {
    return base::fail(WriteFailure{filePath});
  }
  AEROLITH_TRACE(kTag, L" - file write ok");
  return {};
}

}  // namespace

// The folder held since the previous file is the one reached then through
// real folders from the install folder, and it is open: the next file goes
// in it without the chain being walked again (two queries and an open per
// level, for every file). Holding it changes nothing in what a write can do:
// each file is still created exclusively relative to the folder's handle,
// never through a link and never over anything, and under Wine still checked
// to lie inside the install folder once created. A folder that another
// program moves elsewhere meanwhile receives only new files of the bundle, as
// it could between the opening of the chain and the creation before.
base::Result<void, WriteFailure> writeEntry(const bundle::FileEntry& entry,
                                            const sys::Folder& installFolder, LastFolder& last,
                                            diag::Progress& progress) {
  const fs::path dirPath =
      installFolder.path() / bundle::BundlePath(entry.directory).toFileSystemPath();
  AEROLITH_TRACE(kTag, L" - create directory '{}' ({})", entry.directory,
                 sys::wideFromPath(dirPath));
  FolderChain chain(installFolder);
  if (last.folder.isOpen() && last.directory == entry.directory) {
    AEROLITH_TRACE(kTag, L" - exists and is directory, skip create");
    chain.enter(std::move(last.folder));
  } else {
    // Let go first: a folder held open could not be replaced by a file.
    last.folder = sys::Folder();
    prepareFolder(chain, folderComponents(entry.directory));
  }
  base::Result<void, WriteFailure> written =
      writeInFolder(entry, chain.current(), dirPath, progress);
  last.directory = entry.directory;
  last.folder = chain.release();
  return written;
}

}  // namespace aerolith::install
