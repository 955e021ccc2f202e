// What a death test can see of a process that ended through a fatal dialog:
// exit code -100, of which POSIX keeps the low byte, and, on POSIX only, the
// dialog's text, which the stand-in writes to standard error.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "launcher/texts/exit_codes.hpp"

namespace aerolith::testing {

inline ::testing::ExitedWithCode exitedThroughFatalDialog() {
#ifdef _WIN32
  return ::testing::ExitedWithCode(launcher::kExitFatal);
#else
  return ::testing::ExitedWithCode(launcher::kExitFatal & 0xFF);
#endif
}

// A pattern for the standard error of such a process that requires `pattern`
// where the dialog's text is visible there, and nothing where it is not.
inline std::string fatalDialogShowing(const std::string& pattern) {
#ifdef _WIN32
  (void)pattern;
  return "";
#else
  return pattern;
#endif
}

}  // namespace aerolith::testing
