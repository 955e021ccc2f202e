#include "sys/file/input_file.hpp"

#include <windows.h>

#include <algorithm>

#include "sys/file/owned_handle_win.hpp"
#include "sys/internal/last_error_win.hpp"

namespace aerolith::sys {

base::Result<std::size_t> InputFile::read(std::span<std::uint8_t> into) {
  DWORD read = 0;
  const auto size = static_cast<DWORD>(std::min<std::size_t>(into.size(), MAXDWORD));
  if (!::ReadFile(nativeHandle(handle_), into.data(), size, &read, nullptr)) return lastError();
  return std::size_t{read};
}

}  // namespace aerolith::sys
