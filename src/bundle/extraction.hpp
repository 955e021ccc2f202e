// Entry extraction: one entry's frame becomes its content, checked against
// both of its CRC values, just before the synchronisation pass writes it.
#pragma once

#include <cstddef>
#include <functional>
#include <span>

#include "bundle/bundle_view.hpp"
#include "bundle/decode_ahead.hpp"
#include "bundle/error_triple.hpp"
#include "bundle/file_entry.hpp"

namespace aerolith::bundle {

// Fills `entry.content`, decoding it here. `stage` is Stage::kReplaceEntry for
// a file that is being overwritten and Stage::kAddEntry for one being added.
// Before the first overwrite of a run the whole payload's CRC is verified, and
// `payloadValidated` (the pass's run state, false at its start) records that
// it was; an added file relies on its own CRC values alone. Returns the triple
// of the check that failed: stage 4 for the payload, else `stage` with the
// entry's index and shown result code.
Status extractEntry(const BundleView& view, FileEntry& entry, Stage stage, bool& payloadValidated,
                    diag::Progress& progress);

// The same for an added file whose decoding `ahead` began earlier: `entry`
// must be the next of its entries. Logs and fails exactly as the above.
Status extractEntry(DecodeAhead& ahead, FileEntry& entry);

// For an entry decoded straight into its file (FileEntry::isStreamed), in two
// steps around the making of the file: first what extractEntry does before it
// decodes (the payload check of a first overwrite, " - decompress") and the
// checks of the frame alone; then the decoding into `output`, the file's
// bytes, logged and failing as extractEntry's. `content` stays empty.
Status checkStreamedEntry(const BundleView& view, const FileEntry& entry, Stage stage,
                          bool& payloadValidated, diag::Progress& progress);
Status decodeStreamedEntry(const FileEntry& entry, Stage stage, std::span<std::uint8_t> output,
                           diag::Progress& progress,
                           const std::function<void(std::size_t)>& onPiece);

}  // namespace aerolith::bundle
