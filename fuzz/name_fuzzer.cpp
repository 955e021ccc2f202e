// libFuzzer target over the producer's name rule: every name it accepts, the
// launcher accepts too, as a file's name and as a folder's, so that no bundle
// the producer writes is refused by the launcher for a name.
//
// Input: the name's UTF-16LE code units, decoded as the manifest's texts are
// (an odd last byte is ignored; lone surrogates stay).
#include <cstddef>
#include <cstdint>
#include <string>

#include "bundle/safe_path.hpp"
#include "pack/names/file_names.hpp"
#include "text/utf16.hpp"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace aerolith;
  const std::wstring name = text::fromUtf16Le({data, size});
  if (!pack::windowsNameProblem(name).empty()) return 0;
  check(bundle::entryNameProblem(name) == bundle::NameProblem::kNone);
  check(bundle::isSafeEntryPath(L"", name));
  check(bundle::isSafeEntryPath(name, L"x.dll"));
  check(bundle::isSafeEntryPath(L"Modules\\" + name + L"\\Sim", L"x.dll"));
  return 0;
}
