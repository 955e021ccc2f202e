#include "sys/dialog.hpp"

#include <windows.h>

#include <string>

namespace aerolith::sys {

void showMessageBox(std::wstring_view text, std::wstring_view caption, DialogIcon icon) {
  const std::wstring textZ(text);
  const std::wstring captionZ(caption);
  const UINT style = icon == DialogIcon::Warning ? MB_ICONWARNING : MB_ICONERROR;
  MessageBoxW(nullptr, textZ.c_str(), captionZ.c_str(), style);
}

}  // namespace aerolith::sys
