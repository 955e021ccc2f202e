#include "sys/file_attributes.hpp"

#include <windows.h>

#include "sys/last_error_win.hpp"

namespace aerolith::sys {

void setNormalAttributes(const std::filesystem::path& path, std::error_code& error) {
  error.clear();
  if (!::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL)) error = lastErrorCode();
}

}  // namespace aerolith::sys
