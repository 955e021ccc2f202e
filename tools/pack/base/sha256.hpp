// SHA-256 (FIPS 180-4) of the tool's outputs, for release notes and for
// comparing what was shipped with what was built; "sha256sum FILE" gives the
// same digest.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace aerolith::pack {

class Sha256 {
 public:
  Sha256();
  void add(std::span<const std::uint8_t> bytes);
  // The digest as 64 lower-case hex digits; the object is spent afterwards.
  std::wstring finishHex();

 private:
  void block(const std::uint8_t* bytes);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// The digest of a whole file. Throws Failure when it cannot be read.
std::wstring sha256OfFile(const std::filesystem::path& file);

}  // namespace aerolith::pack
