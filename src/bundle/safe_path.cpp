#include "bundle/safe_path.hpp"

#include <algorithm>
#include <array>

#include "bundle/bundle_path.hpp"
#include "text/ascii.hpp"

namespace aerolith::bundle {
namespace {

using text::equalsIgnoringAsciiCase;

// Windows opens these as devices wherever they appear, with any extension and
// trailing spaces: "nul", "NUL.txt", "com1 .log". COM and LPT count the
// superscript digits too.
bool isDeviceName(std::wstring_view component) {
  std::wstring_view base = component.substr(0, component.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  static constexpr std::array<std::wstring_view, 6> kFixed = {L"CON", L"PRN",    L"AUX",
                                                              L"NUL", L"CONIN$", L"CONOUT$"};
  if (std::any_of(kFixed.begin(), kFixed.end(),
                  [&](std::wstring_view name) { return equalsIgnoringAsciiCase(base, name); })) {
    return true;
  }
  if (base.size() != 4) return false;
  const std::wstring_view prefix = base.substr(0, 3);
  const wchar_t digit = base[3];
  const bool isDigit = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' ||
                       digit == L'\u00B2' || digit == L'\u00B3';
  return isDigit &&
         (equalsIgnoringAsciiCase(prefix, L"COM") || equalsIgnoringAsciiCase(prefix, L"LPT"));
}

}  // namespace

NameProblem entryNameProblem(std::wstring_view component) {
  if (component.empty()) return NameProblem::kEmpty;
  if (std::any_of(component.begin(), component.end(), isPathSeparator)) {
    return NameProblem::kSeparator;
  }
  if (component.find(L':') != std::wstring_view::npos) return NameProblem::kColon;
  if (std::all_of(component.begin(), component.end(),
                  [](wchar_t unit) { return unit == L'.' || unit == L' '; })) {
    return NameProblem::kDotsAndSpaces;
  }
  if (isDeviceName(component)) return NameProblem::kDeviceName;
  return NameProblem::kNone;
}

bool isSafeEntryPath(std::wstring_view directory, std::wstring_view name) {
  const auto plain = [](std::wstring_view component) {
    return entryNameProblem(component) == NameProblem::kNone;
  };
  if (!plain(name)) return false;
  if (directory.empty()) return true;
  // A leading separator roots the path ("\x", "\\server\share", "\\?\C:"); one
  // trailing separator only ends the directory.
  if (isPathSeparator(directory.front())) return false;
  if (isPathSeparator(directory.back())) directory.remove_suffix(1);
  std::size_t start = 0;
  while (true) {
    const auto end = static_cast<std::size_t>(
        std::find_if(directory.begin() + start, directory.end(), isPathSeparator) -
        directory.begin());
    if (!plain(directory.substr(start, end - start))) return false;
    if (end == directory.size()) return true;
    start = end + 1;
  }
}

}  // namespace aerolith::bundle
