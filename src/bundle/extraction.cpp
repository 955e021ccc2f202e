#include "bundle/extraction.hpp"

#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"

namespace aerolith::bundle {
namespace {

constexpr auto kTag = L"Main";

}  // namespace

std::optional<ErrorTriple> extractEntry(const BundleView& view, FileEntry& entry, Stage stage,
                                        bool& payloadValidated) {
  if (stage == Stage::kReplaceEntry && !payloadValidated) {
    AEROLITH_TRACE(kTag, L" - content crc32 not validated");
    AEROLITH_TRACE(kTag, L" - - begin content crc32 validate");
    if (auto failure = checkPayload(view)) return failure;
    AEROLITH_TRACE(kTag, L" - - end content crc32 validate");
    payloadValidated = true;
  }
  AEROLITH_TRACE(kTag, L" - decompress");
  const EntryResult result = entry.decompress();
  if (result != EntryResult::kOk) {
    AEROLITH_TRACE(kTag, L" -  - decompress error");
    return ErrorTriple{stage, entry.index, shownCode(result)};
  }
  AEROLITH_TRACE(kTag, L" -  - decompress ok");
  return std::nullopt;
}

}  // namespace aerolith::bundle
