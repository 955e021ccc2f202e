#include <windows.h>

#include "sys/file_attributes.hpp"

namespace aerolith::sys {

std::error_code setNormalAttributes(const std::filesystem::path& path) {
  if (::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL)) return {};
  return {static_cast<int>(::GetLastError()), std::system_category()};
}

}  // namespace aerolith::sys
