#include "pack/image/program_kind.hpp"

#include <algorithm>

#include "base/byte_order.hpp"

namespace aerolith::pack {
namespace {

constexpr std::size_t kNewHeaderPointer = 0x3C;  // e_lfanew of the DOS header
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kMachineField = 4;         // after "PE\0\0"
constexpr std::size_t kOptionalMagicField = 24;  // after "PE\0\0" and the file header

bool startsWith(std::span<const std::uint8_t> file, std::string_view magic) {
  return file.size() >= magic.size() &&
         std::equal(magic.begin(), magic.end(), file.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

std::uint16_t loadLe16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

}  // namespace

ProgramKind programKind(std::span<const std::uint8_t> file) {
  if (startsWith(file,
                 "\x7F"
                 "ELF"))
    return ProgramKind::kLinux;
  if (!startsWith(file, "MZ") || file.size() < kNewHeaderPointer + 4) return ProgramKind::kOther;
  const std::uint64_t pe = base::loadLe32(file.data() + kNewHeaderPointer);
  if (pe > file.size() || file.size() - pe < kOptionalMagicField + 2 ||
      !startsWith(file.subspan(static_cast<std::size_t>(pe)), std::string_view("PE\0\0", 4))) {
    return ProgramKind::kOther;
  }
  const std::uint8_t* header = file.data() + pe;
  const bool x64 = loadLe16(header + kMachineField) == kMachineAmd64 &&
                   loadLe16(header + kOptionalMagicField) == kPe32PlusMagic;
  return x64 ? ProgramKind::kWindowsX64 : ProgramKind::kWindowsOther;
}

std::wstring_view programKindName(ProgramKind kind) {
  switch (kind) {
    case ProgramKind::kWindowsX64:
      return L"a Windows x64 program";
    case ProgramKind::kWindowsOther:
      return L"a Windows program, but not for x64 (32-bit or another machine)";
    case ProgramKind::kLinux:
      return L"a Linux (ELF) program";
    case ProgramKind::kOther:
      return L"no program (neither a Windows nor a Linux executable)";
  }
  return L"";
}

}  // namespace aerolith::pack
