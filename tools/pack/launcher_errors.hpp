// What each error code of the launcher's "Embedded resources corrupt" dialog
// means, in plain words: one table for every code a launcher can show.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "bundle/error_triple.hpp"

namespace aerolith::pack {

// One row of the table. `code` tells the codes of a stage apart: the first
// detail for stage 1, the second (the negated result) for stages 5 to 7, and
// 0 for stages 2 to 4, whose details are values rather than codes.
struct LauncherError {
  bundle::Stage stage;
  std::int32_t code;
  std::wstring_view meaning;
};

std::span<const LauncherError> launcherErrors();

// The meaning of `triple`; one for a code outside the table says so.
std::wstring_view meaningOf(const bundle::ErrorTriple& triple);

}  // namespace aerolith::pack
