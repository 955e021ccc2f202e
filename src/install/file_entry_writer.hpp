// Writing one extracted entry to its file in the install directory: folders
// made, whatever is in the way cleared, the content written and the file
// stamped with the entry's time; and that stamp alone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "bundle/file_entry.hpp"
#include "diag/progress.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

// A file that could not be written, by its full path.
struct WriteFailure {
  std::filesystem::path file;
  bool operator==(const WriteFailure&) const = default;
};

// Puts `entry.content` into its file below the install folder, replacing
// whatever is in the way (a folder of that name with everything in it, a link
// as a link; a link is never written through), and stamps the entry's time on
// it. Folders that cannot be made and objects that cannot be cleared are
// logged and left for the write to meet. Returns the failure when the file
// could not be created or written. Each piece written, and each pause for
// another program's passing hold, is noted as `progress`.
[[nodiscard]] std::optional<WriteFailure> writeEntry(const bundle::FileEntry& entry,
                                                     const sys::Folder& installFolder,
                                                     diag::Progress& progress);

// Sets the last-write time of the file `name` in `folder` to `fileTime`
// (FILETIME). Best effort: a file that cannot be opened for it (a link among
// them: its target is never stamped) keeps its time, and nothing is reported.
void updateFileTime(const sys::Folder& folder, const std::filesystem::path& name,
                    std::uint64_t fileTime);

}  // namespace aerolith::install
