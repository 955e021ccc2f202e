#include <windows.h>

#include "pack/cli/console.hpp"
#include "pack/cli/shown_text.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

bool isConsole(HANDLE handle) {
  DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) != 0;
}

void write(DWORD stream, std::wstring_view given) {
  const std::wstring text = escapeLoneSurrogates(given);
  const HANDLE handle = ::GetStdHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (isConsole(handle)) {
    ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const std::string bytes = text::toUtf8(text);
  ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void writeOut(std::wstring_view text) { write(STD_OUTPUT_HANDLE, text); }
void writeError(std::wstring_view text) { write(STD_ERROR_HANDLE, text); }
bool errorIsTerminal() { return isConsole(::GetStdHandle(STD_ERROR_HANDLE)); }
bool outputIsTerminal() { return isConsole(::GetStdHandle(STD_OUTPUT_HANDLE)); }

}  // namespace aerolith::pack
