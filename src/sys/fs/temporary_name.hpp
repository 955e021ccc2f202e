// The temporary names the launcher gives files in the install folder while
// they are removed or written: `.aerolith-XXXXXXXX.tmp`. A start treats such a
// name as an unlisted file, so one left behind goes at the next start.
#pragma once

#include <array>
#include <cwchar>
#include <filesystem>
#include <random>

namespace aerolith::sys {

// A fresh one, at random: a name taken already is met only by chance, and the
// caller then asks for another.
inline std::filesystem::path freshTemporaryName() {
  std::random_device source;
  std::array<wchar_t, 32> name{};
  std::swprintf(name.data(), name.size(), L".aerolith-%08x.tmp", source());
  return std::filesystem::path(name.data());
}

}  // namespace aerolith::sys
