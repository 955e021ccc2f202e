#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "sys/ipc/runtime_dir.hpp"
#include "text/utf.hpp"

namespace aerolith::sys {
namespace {

std::filesystem::path runtimeDir() {
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && *dir != '\0') return dir;
  std::filesystem::path dir = "/tmp/aerolith-" + std::to_string(::getuid());
  ::mkdir(dir.c_str(), 0700);
  return dir;
}

}  // namespace

std::filesystem::path runtimeObjectPath(std::wstring_view name, std::string_view suffix) {
  std::string file = text::toUtf8(name);
  for (char& c : file) {
    if (c == '/' || c == '\\') c = '_';
  }
  return runtimeDir() / (file + std::string(suffix));
}

}  // namespace aerolith::sys
