#include <windows.h>

#include <string>

#include "sys/ui/dialog.hpp"

namespace aerolith::sys {

struct PreparedMessageBox::Layout {
  std::wstring text;
  std::wstring caption;
  UINT style;
};

PreparedMessageBox::PreparedMessageBox(std::wstring_view text, std::wstring_view caption,
                                       DialogIcon icon)
    : layout_(
          new Layout{std::wstring(text), std::wstring(caption),
                     icon == DialogIcon::kWarning ? UINT{MB_ICONWARNING} : UINT{MB_ICONERROR}}) {}

PreparedMessageBox::~PreparedMessageBox() = default;

void PreparedMessageBox::show() const {
  MessageBoxW(nullptr, layout_->text.c_str(), layout_->caption.c_str(), layout_->style);
}

}  // namespace aerolith::sys
