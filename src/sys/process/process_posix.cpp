#include <unistd.h>

#include <cstdlib>

#include "sys/process/process.hpp"
#include "text/utf.hpp"

namespace aerolith::sys {

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(::gettid()); }

std::optional<std::wstring> environmentVariable(std::wstring_view name) {
  const char* value = std::getenv(text::toUtf8(name).c_str());
  if (value == nullptr) return std::nullopt;
  return text::fromUtf8(value);
}

}  // namespace aerolith::sys
