#include "sys/file/output_file.hpp"

#include <windows.h>

#include <algorithm>

#include "sys/file/owned_handle_win.hpp"
#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {
namespace {

// WriteFile takes a 32-bit count; larger contents go in pieces.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

}  // namespace

base::Result<void> OutputFile::write(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const auto size = static_cast<DWORD>(std::min(bytes.size(), kLargestWrite));
    DWORD written = 0;
    if (!::WriteFile(nativeHandle(handle_), bytes.data(), size, &written, nullptr)) {
      return lastError();
    }
    bytes = bytes.subspan(written);
  }
  return {};
}

}  // namespace aerolith::sys
