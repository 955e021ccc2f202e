// Entry extraction: one entry's frame becomes its content, checked against
// both of its CRC values, just before the synchronisation pass writes it.
#pragma once

#include "bundle/error_triple.hpp"
#include "bundle/file_entry.hpp"

namespace aerolith::bundle {

// Fills `entry.content`. `stage` is Stage::kReplaceEntry for a file that is
// being overwritten and Stage::kAddEntry for one being added. Before the first
// overwrite of a run the whole payload's CRC is verified, and
// `payloadValidated` (the pass's run state, false at its start) records that
// it was; an added file relies on its own CRC values alone. Returns only on
// success: a failure ends the process through the fatal dialog.
void extractEntry(FileEntry& entry, Stage stage, bool& payloadValidated);

}  // namespace aerolith::bundle
