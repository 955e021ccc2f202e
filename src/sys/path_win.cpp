#include "sys/path.hpp"

namespace aerolith::sys {

std::filesystem::path pathFromWide(std::wstring_view text) { return std::filesystem::path(text); }

std::wstring wideFromPath(const std::filesystem::path& path) { return path.wstring(); }

}  // namespace aerolith::sys
