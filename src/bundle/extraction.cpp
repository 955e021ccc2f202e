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

}  // namespace

std::optional<ErrorTriple> extractEntry(const BundleView& view, FileEntry& entry, Stage stage,
                                        bool& payloadValidated, diag::Progress& progress) {
  if (stage == Stage::kReplaceEntry && !payloadValidated) {
    AEROLITH_TRACE(kTag, L" - content crc32 not validated");
    AEROLITH_TRACE(kTag, L" - - begin content crc32 validate");
    if (auto failure = checkPayload(view, progress)) return failure;
    AEROLITH_TRACE(kTag, L" - - end content crc32 validate");
    payloadValidated = true;
  }
  AEROLITH_TRACE(kTag, L" - decompress");
  return decoded(entry, stage, entry.decompress(progress));
}

std::optional<ErrorTriple> extractEntry(DecodeAhead& ahead, FileEntry& entry) {
  AEROLITH_TRACE(kTag, L" - decompress");
  return decoded(entry, Stage::kAddEntry, ahead.take(entry));
}

}  // namespace aerolith::bundle
