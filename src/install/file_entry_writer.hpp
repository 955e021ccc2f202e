// Writing one extracted entry to its file in the install directory: folders
// made, whatever is in the way cleared, the content written and the file
// stamped with the entry's time; and that stamp alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <variant>

#include "bundle/error_triple.hpp"
#include "bundle/file_entry.hpp"
#include "diag/progress.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

// A file that could not be written, by its full path.
struct WriteFailure {
  std::filesystem::path file;
  bool operator==(const WriteFailure&) const = default;
};

// The folder the previous file was written in, held open for the next file
// in the same folder. Empty at first; a writeEntry of another folder lets it go.
struct LastFolder {
  std::wstring directory;  // the entry's directory text
  sys::Folder folder;      // closed for the install folder itself
};

// Puts `entry.content` into its file below the install folder, replacing
// whatever is in the way (a folder of that name with everything in it, a link
// as a link; a link is never written through), and stamps the entry's time on
// it. Folders that cannot be made and objects that cannot be cleared are
// logged and left for the write to meet. Returns the failure when the file
// could not be created or written. The entry's folder is taken from `last`
// when it is the previous file's, and left there for the next. Each piece
// written, and each pause for another program's passing hold, is noted as
// `progress`.
base::Result<void, WriteFailure> writeEntry(const bundle::FileEntry& entry,
                                            const sys::Folder& installFolder, LastFolder& last,
                                            diag::Progress& progress);

// Why a streamed entry was not written: its content failed its check, or its
// file could not be written.
using StreamFailure = std::variant<bundle::ErrorTriple, WriteFailure>;

// Writes a streamed entry (bundle::FileEntry::isStreamed), whose frame
// bundle::checkStreamedEntry has passed, decoding it straight into a new file
// under a temporary name beside its own (bundle::decodeStreamedEntry, `stage`
// its error stage, `onPiece` called with each piece's size). Only content
// that passed its check is stamped and then moved over the name, replacing
// what is there as writeEntry does; a damaged entry leaves nothing of its
// content behind, and whatever was at the name stays. Folders and failures
// to write as writeEntry.
base::Result<void, StreamFailure> writeStreamedEntry(
    const bundle::FileEntry& entry, const sys::Folder& installFolder, bundle::Stage stage,
    diag::Progress& progress, const std::function<void(std::size_t)>& onPiece);

// Sets the last-write time of the file `name` in `folder` to `fileTime`
// (FILETIME). Best effort: a file that cannot be opened for it (a link among
// them: its target is never stamped) keeps its time, and nothing is reported.
void updateFileTime(const sys::Folder& folder, const std::filesystem::path& name,
                    std::uint64_t fileTime);

}  // namespace aerolith::install
