#include "sys/file/input_file.hpp"

#include <windows.h>

#include <algorithm>

#include "sys/file/owned_handle_win.hpp"
#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {

std::size_t InputFile::read(std::span<std::uint8_t> into, std::error_code& error) {
  error.clear();
  DWORD read = 0;
  const auto size = static_cast<DWORD>(std::min<std::size_t>(into.size(), MAXDWORD));
  if (::ReadFile(nativeHandle(handle_), into.data(), size, &read, nullptr)) {
    return read;
  }
  error = lastErrorCode();
  return 0;
}

}  // namespace aerolith::sys
