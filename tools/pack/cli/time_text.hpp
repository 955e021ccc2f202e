// A FILETIME as people and programs read it.
#pragma once

#include <cstdint>
#include <string>

namespace aerolith::pack {

// ISO 8601 in UTC at the FILETIME's full precision: 2024-12-31T23:59:59.1234567Z.
std::wstring isoTime(std::uint64_t fileTime);

}  // namespace aerolith::pack
