// The synchronisation pass: makes the install directory hold exactly the files
// of the bundle, byte for byte and stamped with their times, leaving the user's
// configuration files and every folder in place.
#pragma once

#include <filesystem>
#include <variant>

#include "bundle/error_triple.hpp"
#include "bundle/loading.hpp"
#include "install/file_entry_writer.hpp"
#include "install/listing_ahead.hpp"
#include "install/sync_decision.hpp"
#include "install/sync_progress.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

// Why a pass stopped: the bundle is damaged (stage 4, 6 or 7), or a file could
// not be written.
using SyncFailure = std::variant<bundle::ErrorTriple, WriteFailure>;
using SyncStatus = base::Result<void, SyncFailure>;

// Walks the install folder once, as `listing` found it before any change: keeps
// each listed file whose time and size, or else whose content, match its entry
// (restamping it in the latter case), rewrites the other listed files and
// removes unlisted ones, links as links; then writes every entry not met,
// decoded ahead on `decodingThreads` threads in all (the calling thread,
// which writes, among them). Nothing is done through a link, so nothing
// outside the folder changes. Entries handled in the walk leave
// `bundle.files`. Stops at the first failure and returns it; what was done
// before stays. Each entry finished and each piece of a file read or written
// is noted as `progress`, where the pass also publishes what it does: its
// activity once the folder is listed, each file's bytes when it decides to
// write them (the entries not met all at once, before the first is written)
// and again once they are written.
SyncStatus synchroniseInstallDirectory(const sys::Folder& installFolder, ListingAhead& listing,
                                       bundle::Bundle& bundle, const ProtectedNames& protectedNames,
                                       unsigned decodingThreads, SyncProgress& progress);

// One decoding thread for each processor, at least one.
unsigned defaultDecodingThreads();

}  // namespace aerolith::install
