// Process-level services: identity of the calling thread, the environment, and
// the one way out of the process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace aerolith::sys {

// The system's identifiers of the calling process and thread.
std::uint32_t currentProcessId();
std::uint32_t currentThreadId();

// The value of an environment variable; nothing when it is not set.
std::optional<std::wstring> environmentVariable(std::wstring_view name);

// Ends the process through the runtime's normal exit (exit handlers and static
// destructors run). The first caller wins: a thread that calls it while another
// is already exiting waits for the process to end, instead of running the exit
// handlers a second time underneath the first.
[[noreturn]] void exitProcess(int code);

}  // namespace aerolith::sys
