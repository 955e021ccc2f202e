#include "install/file_crc.hpp"

#include <memory>
#include <span>
#include <system_error>

#include "bundle/crc32c.hpp"
#include "diag/progress.hpp"
#include "diag/trace_logger.hpp"

namespace aerolith::install {
namespace {

constexpr auto kTag = L"Main";
constexpr std::size_t kChunkSize = 65'536;

}  // namespace

std::uint32_t computeFileCrc32c(const sys::Folder& folder, const std::filesystem::path& name) {
  std::uint32_t crc = 0;
  std::error_code error;
  sys::InputFile in = folder.openFile(name, error);
  if (!in.isOpen()) return crc;
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkSize);
  for (;;) {
    const std::size_t read = in.read({buffer.get(), kChunkSize}, error);
    if (error) {
      AEROLITH_TRACE(kTag, L" -  - ifstream read exception");
      return crc;
    }
    if (read == 0) return crc;
    crc = bundle::crc32c::extend(crc, buffer.get(), read);
    diag::noteProgress();
  }
}

}  // namespace aerolith::install
