#include "pack/names/file_names.hpp"

#include <fmt/xchar.h>

#include "bundle/safe_path.hpp"
#include "text/utf16.hpp"

namespace aerolith::pack {
namespace {

// Beside ':', '\' and '/', which a launcher refuses already.
constexpr std::wstring_view kForbidden = L"<>\"|?*";

std::wstring launcherProblem(bundle::NameProblem problem) {
  switch (problem) {
    case bundle::NameProblem::kNone:
      return {};
    case bundle::NameProblem::kEmpty:
      return L"the name is empty";
    case bundle::NameProblem::kSeparator:
      return L"the name holds a path separator ('\\' or '/')";
    case bundle::NameProblem::kColon:
      return L"the name holds ':', which names a drive or a data stream on Windows";
    case bundle::NameProblem::kDotsAndSpaces:
      return L"the name is only dots and spaces, which Windows reads as a folder itself";
    case bundle::NameProblem::kDeviceName:
      return L"the name is reserved for a device on Windows";
  }
  return L"the name is refused";
}

}  // namespace

std::wstring windowsNameProblem(std::wstring_view name) {
  if (std::wstring why = launcherProblem(bundle::entryNameProblem(name)); !why.empty()) {
    return why + L"; a launcher refuses it";
  }
  if (!text::isWellFormedUtf16(name)) return L"the name is not valid UTF-16";
  for (const wchar_t c : name) {
    if (static_cast<std::uint32_t>(c) < 0x20) {
      return fmt::format(L"the name holds the control character U+{:04X}",
                         static_cast<std::uint32_t>(c));
    }
    if (kForbidden.find(c) != std::wstring_view::npos) {
      return fmt::format(L"the name holds '{}', which a Windows file name cannot hold", c);
    }
  }
  if (name.back() == L' ' || name.back() == L'.') {
    return L"the name ends in a space or a period, which Windows drops";
  }
  if (const std::size_t units = text::toUtf16(name).size(); units > kLongestWindowsName) {
    return fmt::format(L"the name is {} UTF-16 units long; Windows holds at most {}", units,
                       kLongestWindowsName);
  }
  return {};
}

}  // namespace aerolith::pack
