#include "sys/ui/dialog.hpp"

namespace aerolith::sys {

void showMessageBox(std::wstring_view text, std::wstring_view caption, DialogIcon icon) {
  PreparedMessageBox(text, caption, icon).show();
}

}  // namespace aerolith::sys
