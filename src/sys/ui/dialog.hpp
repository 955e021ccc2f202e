// The only way the launcher talks to a user: a modal message box that blocks
// the calling thread until it is closed.
#pragma once

#include <memory>
#include <string_view>

namespace aerolith::sys {

enum class DialogIcon { kWarning, kError };

// No owner window, one OK button. The result is of no interest to any caller.
void showMessageBox(std::wstring_view text, std::wstring_view caption, DialogIcon icon);

// A message box whose texts are converted and laid out in advance, so that
// showing it allocates nothing: the crash handler shows one where the heap may
// be broken, and on POSIX from a signal handler.
class PreparedMessageBox {
 public:
  PreparedMessageBox(std::wstring_view text, std::wstring_view caption, DialogIcon icon);
  ~PreparedMessageBox();
  PreparedMessageBox(const PreparedMessageBox&) = delete;
  PreparedMessageBox& operator=(const PreparedMessageBox&) = delete;

  void show() const;

 private:
  struct Layout;
  std::unique_ptr<const Layout> layout_;
};

}  // namespace aerolith::sys
