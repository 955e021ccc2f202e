// The layout of a PE32+ (64-bit Windows) image, as far as rewriting its
// resources needs it: the header fields that depend on the sections, the
// section table, the data directories, and what follows the sections in the
// file. Reading checks every position against the file and trusts nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace aerolith::pack::pe {

// Positions of the header fields that are read or rewritten, counted from the
// start of the COFF file header (just past "PE\0\0") or of the optional header.
namespace field {
inline constexpr std::size_t kNumberOfSections = 2;
inline constexpr std::size_t kPointerToSymbolTable = 8;
inline constexpr std::size_t kNumberOfSymbols = 12;
inline constexpr std::size_t kSizeOfOptionalHeader = 16;
inline constexpr std::size_t kFileHeaderSize = 20;

inline constexpr std::size_t kMagic = 0;
inline constexpr std::size_t kSizeOfInitializedData = 8;
inline constexpr std::size_t kSectionAlignment = 32;
inline constexpr std::size_t kFileAlignment = 36;
inline constexpr std::size_t kSizeOfImage = 56;
inline constexpr std::size_t kSizeOfHeaders = 60;
inline constexpr std::size_t kCheckSum = 64;
inline constexpr std::size_t kNumberOfRvaAndSizes = 108;
inline constexpr std::size_t kDataDirectories = 112;
inline constexpr std::size_t kDataDirectorySize = 8;

// A section header: name, sizes, positions, characteristics.
inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::size_t kSectionVirtualSize = 8;
inline constexpr std::size_t kSectionVirtualAddress = 12;
inline constexpr std::size_t kSectionRawSize = 16;
inline constexpr std::size_t kSectionRawOffset = 20;
inline constexpr std::size_t kSectionCharacteristics = 36;
}  // namespace field

inline constexpr std::uint16_t kPe32PlusMagic = 0x20B;

inline constexpr std::size_t kResourceDirectory = 2;
inline constexpr std::size_t kSecurityDirectory = 4;  // holds a file offset, not an address
inline constexpr std::size_t kBaseRelocationDirectory = 5;

inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionDiscardable = 0x02000000;
inline constexpr std::uint32_t kSectionRead = 0x40000000;

struct Section {
  std::string name;  // up to 8 bytes, as stored
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t characteristics = 0;

  // The end of the addresses the section takes before alignment: a section
  // whose virtual size is 0 takes its raw size.
  std::uint64_t virtualEnd() const {
    return std::uint64_t{virtualAddress} + (virtualSize != 0 ? virtualSize : rawSize);
  }
  bool holds(std::uint32_t address) const {
    return address >= virtualAddress && address < virtualEnd();
  }
};

struct DataDirectory {
  std::uint32_t address = 0;
  std::uint32_t size = 0;
};

// A run of bytes in the file.
struct Extent {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t end() const { return offset + size; }
};

struct Layout {
  std::size_t fileHeader = 0;  // the COFF file header, after "PE\0\0"
  std::size_t optionalHeader = 0;
  std::size_t sectionTable = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sizeOfHeaders = 0;
  std::vector<Section> sections;           // in table order
  std::vector<DataDirectory> directories;  // as many as the header has room for, at most 16

  // After the sections' raw data (sectionsEnd), a file may hold the COFF
  // symbol table with its string table, left by an unstripped link, and the
  // certificate table of a signature, which must end the file. Zero bytes
  // between them are padding; any other byte is data this tool does not know.
  std::uint64_t sectionsEnd = 0;
  Extent symbols;
  Extent certificates;
  std::optional<std::uint64_t> foreignData;  // where the first unknown byte lies

  DataDirectory directory(std::size_t index) const {
    return index < directories.size() ? directories[index] : DataDirectory{};
  }
  // The section whose addresses hold `address`; null if none does.
  const Section* sectionOf(std::uint32_t address) const;
};

// True when the file starts as a Windows image does ("MZ").
bool looksLikePe(std::span<const std::uint8_t> file);

// The layout of a PE32+ image. Throws Failure saying why the file is not one or
// where it is damaged.
Layout readLayout(std::span<const std::uint8_t> image);

// The file bytes that hold `size` bytes at `address`, which must lie inside one
// section's raw data. Throws Failure naming `what` otherwise.
std::span<const std::uint8_t> bytesAt(std::span<const std::uint8_t> image, const Layout& layout,
                                      std::uint32_t address, std::uint32_t size,
                                      std::wstring_view what);

}  // namespace aerolith::pack::pe
