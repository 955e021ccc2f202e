// What kind of program a file is, told from its headers alone: what a launcher
// can start as the application's main executable.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace aerolith::pack {

enum class ProgramKind {
  kWindowsX64,    // a PE32+ image for x64: what a Windows launcher starts
  kWindowsOther,  // a Windows image for another machine, or a 32-bit one
  kLinux,         // an ELF executable: what a Linux launcher starts
  kOther,         // no program at all
};

ProgramKind programKind(std::span<const std::uint8_t> file);

// "a Windows x64 program", "a 32-bit or non-x64 Windows program", ...
std::wstring_view programKindName(ProgramKind kind);

}  // namespace aerolith::pack
