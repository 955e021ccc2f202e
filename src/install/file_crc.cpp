#include "install/file_crc.hpp"

#include <algorithm>
#include <memory>
#include <span>
#include <system_error>

#include "crc32c/crc32c.hpp"
#include "diag/progress.hpp"
#include "diag/trace_logger.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"Main";
constexpr std::size_t kChunkSize = 65'536;

}  // namespace

std::optional<std::uint32_t> computeFileCrc32c(const sys::Folder& folder, const fs::path& name,
                                               std::uint64_t limit, diag::Progress& progress) {
  std::uint32_t crc = 0;
  base::Result<sys::InputFile> in = folder.openFile(name);
  if (!in) return crc;
  const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkSize);
  // One byte beyond `limit` is asked for, to tell a longer file.
  for (std::uint64_t left = limit + 1;;) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, left));
    const base::Result<std::size_t> piece = in->read({buffer.get(), wanted});
    if (!piece) {
      AEROLITH_TRACE(kTag, L" -  - ifstream read exception");
      return crc;
    }
    const std::size_t read = *piece;
    if (read == 0) return crc;
    left -= read;
    if (left == 0) return std::nullopt;
    crc = crc32c::extend(crc, buffer.get(), read);
    progress.note();
  }
}

}  // namespace aerolith::install
