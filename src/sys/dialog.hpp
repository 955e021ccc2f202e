// The only way the launcher talks to a user: a modal message box that blocks
// the calling thread until it is closed.
#pragma once

#include <string_view>

namespace aerolith::sys {

enum class DialogIcon { Warning, Error };

// No owner window, one OK button. The result is of no interest to any caller.
void showMessageBox(std::wstring_view text, std::wstring_view caption, DialogIcon icon);

}  // namespace aerolith::sys
