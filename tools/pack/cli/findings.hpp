// Findings (base/finding.hpp) on standard error and in JSON documents.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "pack/base/finding.hpp"
#include "pack/cli/json_writer.hpp"

namespace aerolith::pack {

// One line each, "note: " (or another `prefix`) and the message.
std::wstring findingLines(std::span<const Finding> findings, std::wstring_view prefix);

// The member `key`: an array of {code, path (null for none), message}.
void writeFindings(JsonWriter& out, std::wstring_view key, std::span<const Finding> findings);

// {"ok": false, "error": {code, message, path}}: what --json prints when a
// command fails before it has anything else to say.
std::wstring failureJson(const Finding& error);

}  // namespace aerolith::pack
