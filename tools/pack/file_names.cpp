#include "pack/file_names.hpp"

#include <array>

#include <fmt/xchar.h>

#include "text/utf16.hpp"

namespace aerolith::pack {
namespace {

constexpr std::wstring_view kForbidden = L"<>:\"/\\|?*";

// Device names that Windows reserves in every folder, with any extension.
bool isReservedDeviceName(std::wstring_view name) {
  const std::wstring_view stem = name.substr(0, name.find(L'.'));
  std::wstring upper;
  for (const wchar_t c : stem) upper += (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
  constexpr std::array<std::wstring_view, 4> kDevices = {L"CON", L"PRN", L"AUX", L"NUL"};
  for (const auto device : kDevices) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.starts_with(L"COM") || upper.starts_with(L"LPT")) &&
         upper[3] >= L'1' && upper[3] <= L'9';
}

}  // namespace

std::wstring windowsNameProblem(std::wstring_view name) {
  if (name.empty()) return L"the name is empty";
  if (name == L"." || name == L"..") return L"the name refers to a folder itself";
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
  if (isReservedDeviceName(name)) return L"the name is reserved for a device on Windows";
  return {};
}

}  // namespace aerolith::pack
