#include "sys/fs/path.hpp"

namespace aerolith::sys {

std::filesystem::path pathFromWide(std::wstring_view text) { return std::filesystem::path(text); }

std::wstring wideFromPath(const std::filesystem::path& path) { return path.native(); }

std::wstring wideFromNative(const std::filesystem::path::string_type& text) { return text; }

}  // namespace aerolith::sys
