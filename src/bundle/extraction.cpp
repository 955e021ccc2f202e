#include "bundle/extraction.hpp"

#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"

namespace aerolith::bundle {
namespace {

constexpr auto kTag = L"Main";

// Logs the outcome of a decoding, wherever it ran, and makes a failure a triple.
std::optional<ErrorTriple> decoded(const FileEntry& entry, Stage stage, EntryResult result) {
  if (result != EntryResult::kOk) {
    AEROLITH_TRACE(kTag, L" -  - decompress error");
    return ErrorTriple{stage, entry.index, shownCode(result)};
  }
  AEROLITH_TRACE(kTag, L" -  - decompress ok");
  return std::nullopt;
}

// The whole payload's check before the first overwrite of a run, then the
// line that opens every decoding.
std::optional<ErrorTriple> beginDecoding(const BundleView& view, Stage stage,
                                         bool& payloadValidated, diag::Progress& progress) {
  if (stage == Stage::kReplaceEntry && !payloadValidated) {
    AEROLITH_TRACE(kTag, L" - content crc32 not validated");
    AEROLITH_TRACE(kTag, L" - - begin content crc32 validate");
    if (auto failure = checkPayload(view, progress)) return failure;
    AEROLITH_TRACE(kTag, L" - - end content crc32 validate");
    payloadValidated = true;
  }
  AEROLITH_TRACE(kTag, L" - decompress");
  return std::nullopt;
}

}  // namespace

std::optional<ErrorTriple> extractEntry(const BundleView& view, FileEntry& entry, Stage stage,
                                        bool& payloadValidated, diag::Progress& progress) {
  if (auto failure = beginDecoding(view, stage, payloadValidated, progress)) return failure;
  return decoded(entry, stage, entry.decompress(progress));
}

// Only a failure is logged here: the outcome of the decoding is the second step's.
std::optional<ErrorTriple> checkStreamedEntry(const BundleView& view, const FileEntry& entry,
                                              Stage stage, bool& payloadValidated,
                                              diag::Progress& progress) {
  if (auto failure = beginDecoding(view, stage, payloadValidated, progress)) return failure;
  const EntryResult checked = entry.checkFrame(progress);
  if (checked == EntryResult::kOk) return std::nullopt;
  return decoded(entry, stage, checked);
}

std::optional<ErrorTriple> decodeStreamedEntry(const FileEntry& entry, Stage stage,
                                               std::span<std::uint8_t> output,
                                               diag::Progress& progress,
                                               const std::function<void(std::size_t)>& onPiece) {
  return decoded(entry, stage, entry.decodeInto(output, progress, onPiece));
}

std::optional<ErrorTriple> extractEntry(DecodeAhead& ahead, FileEntry& entry) {
  AEROLITH_TRACE(kTag, L" - decompress");
  return decoded(entry, Stage::kAddEntry, ahead.take(entry));
}

}  // namespace aerolith::bundle
