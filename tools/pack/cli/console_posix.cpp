#include <unistd.h>

#include <cstdio>

#include "pack/cli/console.hpp"
#include "pack/cli/shown_text.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

void write(std::FILE* stream, std::wstring_view text) {
  const std::string bytes = text::toUtf8(escapeLoneSurrogates(text));
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

}  // namespace

void writeOut(std::wstring_view text) { write(stdout, text); }
void writeError(std::wstring_view text) { write(stderr, text); }
bool errorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }
bool outputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace aerolith::pack
