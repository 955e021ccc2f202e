// What each error code of the launcher's "Embedded resources corrupt" dialog
// means, in plain words: one table for every code a launcher can show.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "bundle/error_triple.hpp"

namespace aerolith::pack {

// What a code tells about where the fault came in. A CRC-32C covers the bytes
// the producer wrote: one that fails means the file changed afterwards; a
// check that fails behind a CRC that holds means the producer wrote it so.
enum class Cause {
  kNoBundle,       // a resource is missing: a launcher shipped without its bundle, or cut short
  kDamagedFile,    // the launcher's file changed after it was made
  kFaultyRelease,  // the bundle is wrong as it was made: every copy fails alike
};

// One row of the table. `code` tells the codes of a stage apart: the first
// detail for stage 1, the second (the negated result) for stages 5 to 7, and
// 0 for stages 2 to 4, whose details are values rather than codes.
struct LauncherError {
  bundle::Stage stage;
  std::int32_t code;
  std::wstring_view meaning;
  Cause cause;
};

std::span<const LauncherError> launcherErrors();

// The row of `triple`; nothing for a triple that no launcher shows (a code
// outside the table, or details its stage never carries).
const LauncherError* findLauncherError(const bundle::ErrorTriple& triple);

// The meaning of `triple`; one for a code outside the table says so.
std::wstring_view meaningOf(const bundle::ErrorTriple& triple);

}  // namespace aerolith::pack
