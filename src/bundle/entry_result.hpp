// Result codes of reading and extracting one manifest entry: 0 for success and
// a distinct negative number for each failed check. The dialog shows a failure
// negated, as the last number of its error code.
#pragma once

#include <cstdint>

#include "base/result.hpp"

namespace aerolith::bundle {

enum class EntryResult : std::int32_t {
  kOk = 0,
  // Parsing. "Bad" fields run past the end of the manifest, or hold a length,
  // size or offset of 2^31 or more, which the format cannot hold.
  kBadDirectoryLength = -1,
  kDirectoryPastEnd = -2,
  kBadNameLength = -3,
  kNamePastEnd = -4,
  kBadSize = -5,
  kContentCrcPastEnd = -6,
  kBadCompressedSize = -7,
  kCompressedCrcPastEnd = -8,
  kBadOffset = -9,
  kEmptyName = -10,
  kFramePastPayload = -11,
  kUnsafePath = -15,  // the file would not lie inside the install directory
  kFileTimePastEnd = -20,
  // Extraction.
  kCompressedCrcMismatch = -12,
  kSizeMismatch = -13,  // the frame is damaged or does not yield exactly `size` bytes
  kContentCrcMismatch = -14,
};

// What a step on one entry returns: nothing, or the code of the check that
// failed (never kOk).
using EntryStatus = base::Result<void, EntryResult>;

// The code as the dialog shows it: 3 for kBadNameLength.
inline std::int32_t shownCode(EntryResult result) { return -static_cast<std::int32_t>(result); }

}  // namespace aerolith::bundle
