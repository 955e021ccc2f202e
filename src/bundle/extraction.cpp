#include "bundle/extraction.hpp"

#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"

namespace aerolith::bundle {
namespace {

constexpr auto kTag = L"Main";

// Logs the outcome of a decoding, wherever it ran, and makes a failure a triple.
Status decoded(const FileEntry& entry, Stage stage, const EntryStatus& result) {
  if (!result) {
    AEROLITH_TRACE(kTag, L" -  - decompress error");
    return base::fail(ErrorTriple{stage, entry.index, shownCode(result.error())});
  }
  AEROLITH_TRACE(kTag, L" -  - decompress ok");
  return {};
}

// The whole payload's check before the first overwrite of a run, then the
// line that opens every decoding.
Status beginDecoding(const BundleView& view, Stage stage, bool& payloadValidated,
                     diag::Progress& progress) {
  if (stage == Stage::kReplaceEntry && !payloadValidated) {
    AEROLITH_TRACE(kTag, L" - content crc32 not validated");
    AEROLITH_TRACE(kTag, L" - - begin content crc32 validate");
    if (Status checked = checkPayload(view, progress); !checked) return checked;
    AEROLITH_TRACE(kTag, L" - - end content crc32 validate");
    payloadValidated = true;
  }
  AEROLITH_TRACE(kTag, L" - decompress");
  return {};
}

}  // namespace

Status extractEntry(const BundleView& view, FileEntry& entry, Stage stage, bool& payloadValidated,
                    diag::Progress& progress) {
  if (Status begun = beginDecoding(view, stage, payloadValidated, progress); !begun) return begun;
  return decoded(entry, stage, entry.decompress(progress));
}

// Only a failure is logged here: the outcome of the decoding is the second step's.
Status checkStreamedEntry(const BundleView& view, const FileEntry& entry, Stage stage,
                          bool& payloadValidated, diag::Progress& progress) {
  if (Status begun = beginDecoding(view, stage, payloadValidated, progress); !begun) return begun;
  const EntryStatus checked = entry.checkFrame(progress);
  if (checked) return {};
  return decoded(entry, stage, checked);
}

Status decodeStreamedEntry(const FileEntry& entry, Stage stage, std::span<std::uint8_t> output,
                           diag::Progress& progress,
                           const std::function<void(std::size_t)>& onPiece) {
  return decoded(entry, stage, entry.decodeInto(output, progress, onPiece));
}

Status extractEntry(DecodeAhead& ahead, FileEntry& entry) {
  AEROLITH_TRACE(kTag, L" - decompress");
  return decoded(entry, Stage::kAddEntry, ahead.take(entry));
}

}  // namespace aerolith::bundle
