// The one way any phase gives up: show why, then end the process with -100 once
// the user has closed the box. Callable from the main thread and the watchdog.
#pragma once

#include <string>
#include <utility>

#include <fmt/xchar.h>

#include "bundle/error_triple.hpp"
#include "launcher/process_state.hpp"

namespace aerolith::launcher {

// Shows `message` in a warning box; once it closes, ends the run's bookkeeping
// (endRunBookkeeping) and exits with -100. The dialog flag is already set.
[[noreturn]] void showFatalMessageAndExit(const std::wstring& message);

template <typename... Args>
[[noreturn]] void showFatalAndExit(fmt::wformat_string<Args...> format, Args&&... args) {
  dialogFlag.store(true);
  showFatalMessageAndExit(fmt::format(format, std::forward<Args>(args)...));
}

// "Embedded resources corrupt" with the triple, then exits as above: stages 2 and 4 print their CRC
// values unsigned, the others three signed numbers.
[[noreturn]] void showCorruptAndExit(const bundle::ErrorTriple& error);

}  // namespace aerolith::launcher
