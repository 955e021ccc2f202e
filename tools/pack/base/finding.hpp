// One thing a command found wrong or worth a warning, as the text says it and
// as --json names it: a code for programs ("no-main-program"), the message,
// and the path it concerns (empty for none).
#pragma once

#include <string>

namespace aerolith::pack {

struct Finding {
  std::wstring code;
  std::wstring message;
  std::wstring path;
};

}  // namespace aerolith::pack
