// The error code of the "Embedded resources corrupt" dialog: the stage that
// found the damage, then two details, shown joined by full stops.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.hpp"

namespace aerolith::bundle {

enum class Stage : std::int32_t {
  kResources = 1,     // a resource lookup failed; the detail names the step
  kManifestCrc = 2,   // computed and stored CRC-32C of the manifest
  kEntryCount = 3,    // the entry count
  kPayloadCrc = 4,    // computed and stored CRC-32C of the payload
  kEntryParse = 5,    // entry index, negated parse result
  kReplaceEntry = 6,  // entry index, negated extraction result, for a file being overwritten
  kAddEntry = 7,      // the same for a file being added
};

struct ErrorTriple {
  Stage stage = Stage::kResources;
  // Signed 32-bit values, except for the two CRC stages, whose details are
  // unsigned 32-bit CRC values.
  std::int64_t first = 0;
  std::int64_t second = 0;

  static ErrorTriple crcMismatch(Stage stage, std::uint32_t computed, std::uint32_t stored) {
    return {stage, computed, stored};
  }

  bool carriesCrcs() const { return stage == Stage::kManifestCrc || stage == Stage::kPayloadCrc; }

  // "5.3.15", as the dialog shows it.
  std::wstring text() const;

  bool operator==(const ErrorTriple&) const = default;
};

// What a check of the bundle returns: nothing, or the triple of the damage.
using Status = base::Result<void, ErrorTriple>;

}  // namespace aerolith::bundle
