#include "sys/fs/path.hpp"

#include "text/utf.hpp"

namespace aerolith::sys {

std::filesystem::path pathFromWide(std::wstring_view text) {
  return std::filesystem::path(text::toUtf8(text));
}

std::wstring wideFromPath(const std::filesystem::path& path) {
  return wideFromNative(path.native());
}

std::wstring wideFromNative(const std::filesystem::path::string_type& text) {
  return text::fromUtf8(text);
}

}  // namespace aerolith::sys
