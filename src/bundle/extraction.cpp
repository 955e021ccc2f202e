#include "bundle/extraction.hpp"

#include "bundle/loading.hpp"
#include "diag/trace_logger.hpp"

namespace aerolith::bundle {
namespace {

constexpr auto kTag = L"Main";

}  // namespace

void extractEntry(FileEntry& entry, Stage stage, bool& payloadValidated) {
  if (stage == Stage::kReplaceEntry && !payloadValidated) {
    AEROLITH_TRACE(kTag, L" - content crc32 not validated");
    AEROLITH_TRACE(kTag, L" - - begin content crc32 validate");
    verifyPayload();
    AEROLITH_TRACE(kTag, L" - - end content crc32 validate");
    payloadValidated = true;
  }
  AEROLITH_TRACE(kTag, L" - decompress");
  const EntryResult result = entry.decompress();
  if (result != EntryResult::kOk) {
    AEROLITH_TRACE(kTag, L" -  - decompress error");
    fatalCorrupt(ErrorTriple{stage, entry.index, shownCode(result)});
  }
  AEROLITH_TRACE(kTag, L" -  - decompress ok");
}

}  // namespace aerolith::bundle
