#include "install/file_crc.hpp"

#include <exception>
#include <fstream>
#include <memory>

#include "bundle/crc32c.hpp"
#include "diag/trace_logger.hpp"

namespace aerolith::install {
namespace {

constexpr auto kTag = L"Main";
constexpr std::size_t kChunkSize = 65'536;

}  // namespace

std::uint32_t computeFileCrc32c(const std::filesystem::path& path) {
  std::uint32_t crc = 0;
  std::ifstream in(path, std::ios::binary);
  try {
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunkSize);
    // A short read at the end sets failbit too, after its bytes were counted.
    do {
      in.read(buffer.get(), kChunkSize);
      crc = bundle::crc32c::extend(crc, reinterpret_cast<const std::uint8_t*>(buffer.get()),
                                   static_cast<std::size_t>(in.gcount()));
    } while (in);
  } catch (const std::exception&) {
    AEROLITH_TRACE(kTag, L" -  - ifstream read exception");
  }
  return crc;
}

}  // namespace aerolith::install
