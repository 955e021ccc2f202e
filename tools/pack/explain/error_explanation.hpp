// What support staff tell a user who reports the code of an "Embedded resources
// corrupt" message: what failed, the likely cause and what to do. Built on the
// table of every code a launcher shows (launcher_errors.hpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bundle/error_triple.hpp"

namespace aerolith::pack {

// "5.12.15", or the message's line "Error code: 5.12.15", as a user copies it,
// a full stop after it included. Nothing for text that is no such code.
std::optional<bundle::ErrorTriple> parseErrorCode(std::wstring_view text);

struct Explanation {
  std::wstring whatFailed;  // the stage, the entry, the field
  std::wstring cause;       // in plain words
  std::wstring advice;      // what the user, and the maker, should do
};

// Nothing for a code that no launcher shows.
std::optional<Explanation> explain(const bundle::ErrorTriple& triple);

}  // namespace aerolith::pack
