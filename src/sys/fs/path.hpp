// Wide texts to file-system paths and back. On Windows paths are UTF-16
// already; on Linux they are bytes, taken as UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace aerolith::sys {

std::filesystem::path pathFromWide(std::wstring_view text);
std::wstring wideFromPath(const std::filesystem::path& path);
// The same from a path's text, without parsing it into a path first.
std::wstring wideFromNative(const std::filesystem::path::string_type& text);

}  // namespace aerolith::sys
