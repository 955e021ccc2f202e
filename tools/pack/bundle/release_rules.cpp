#include "pack/bundle/release_rules.hpp"

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/image/program_kind.hpp"
#include "pack/names/windows_case.hpp"

namespace aerolith::pack {
namespace {

bool startable(ProgramKind kind, std::optional<ImagePlatform> platform) {
  if (!platform) return kind == ProgramKind::kWindowsX64 || kind == ProgramKind::kLinux;
  return kind ==
         (*platform == ImagePlatform::kWindows ? ProgramKind::kWindowsX64 : ProgramKind::kLinux);
}

std::wstring_view wanted(std::optional<ImagePlatform> platform) {
  if (!platform) return L"a launcher starts a Windows x64 program (a Linux launcher an ELF one)";
  return *platform == ImagePlatform::kWindows ? L"a Windows launcher starts only a Windows x64 "
                                                L"program"
                                              : L"a Linux launcher starts only an ELF program";
}

}  // namespace

std::vector<Finding> mainProgramProblems(const LoadedBundle& bundle,
                                         std::optional<ImagePlatform> platform) {
  const bundle::FileEntry* main = nullptr;
  const bundle::FileEntry* otherCase = nullptr;
  for (const bundle::FileEntry& entry : bundle.entries()) {
    if (!entry.directory.empty()) continue;
    if (entry.name == kMainProgram) {
      main = &entry;
      break;
    }
    if (!otherCase && windowsCaseKey(entry.name) == windowsCaseKey(kMainProgram))
      otherCase = &entry;
  }
  if (main == nullptr) {
    std::wstring message = fmt::format(
        L"there is no '{}' at the top of the bundle, the program a launcher starts: every start "
        L"would install the files and then fail with \"Failed to start process\"",
        kMainProgram);
    if (otherCase) {
      message += fmt::format(L"; '{}' differs in letter case, and a launcher starts '{}' exactly",
                             otherCase->name, kMainProgram);
    }
    return {{L"no-main-program", message, std::wstring(kMainProgram)}};
  }
  std::vector<std::uint8_t> content;
  try {
    content = extractContent(*main);
  } catch (const Failure&) {
    return {};  // a damaged entry is a problem of the bundle already
  }
  const ProgramKind kind = programKind(content);
  if (startable(kind, platform)) return {};
  return {{L"main-program-kind",
           fmt::format(L"'{}' is {}; {}", kMainProgram, programKindName(kind), wanted(platform)),
           std::wstring(kMainProgram)}};
}

}  // namespace aerolith::pack
