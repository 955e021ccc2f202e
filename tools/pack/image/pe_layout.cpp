#include "pack/image/pe_layout.hpp"

#include <algorithm>
#include <bit>

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/image/byte_reader.hpp"

namespace aerolith::pack::pe {
namespace {

constexpr std::size_t kPeOffsetField = 0x3C;        // e_lfanew of the DOS header
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::size_t kMaxDirectories = 16;
constexpr std::size_t kSymbolSize = 18;
constexpr std::uint32_t kMinFileAlignment = 512;

bool isPowerOfTwo(std::uint32_t value) { return value != 0 && std::has_single_bit(value); }

void readOptionalHeader(const ByteReader& file, Layout& layout) {
  const std::size_t optional = layout.optionalHeader;
  const std::uint16_t magic = file.u16(optional + field::kMagic, L"the optional header");
  if (magic == kPe32Magic) {
    throw Failure(L"it is a 32-bit (PE32) image; only 64-bit (PE32+) images are supported");
  }
  if (magic != kPe32PlusMagic) {
    throw Failure(fmt::format(L"its optional header has the unknown magic 0x{:X}", magic));
  }
  const std::uint16_t optionalSize =
      file.u16(layout.fileHeader + field::kSizeOfOptionalHeader, L"the file header");
  if (optionalSize < field::kDataDirectories) {
    throw Failure(fmt::format(L"its optional header is only {} bytes long", optionalSize));
  }
  file.bytes(optional, optionalSize, L"the optional header");
  layout.sectionAlignment = file.u32(optional + field::kSectionAlignment, L"SectionAlignment");
  layout.fileAlignment = file.u32(optional + field::kFileAlignment, L"FileAlignment");
  layout.sizeOfHeaders = file.u32(optional + field::kSizeOfHeaders, L"SizeOfHeaders");
  file.bytes(0, layout.sizeOfHeaders, L"the headers (SizeOfHeaders)");
  // The loader takes a file alignment below 512 only when it equals the
  // section alignment (images that are mapped as they lie in the file).
  if (!isPowerOfTwo(layout.sectionAlignment) || !isPowerOfTwo(layout.fileAlignment) ||
      layout.fileAlignment > layout.sectionAlignment ||
      (layout.fileAlignment < kMinFileAlignment &&
       layout.fileAlignment != layout.sectionAlignment)) {
    throw Failure(fmt::format(L"its alignments are not valid (sections {}, file {})",
                              layout.sectionAlignment, layout.fileAlignment));
  }
  const std::uint32_t declared =
      file.u32(optional + field::kNumberOfRvaAndSizes, L"NumberOfRvaAndSizes");
  const std::size_t room = (optionalSize - field::kDataDirectories) / field::kDataDirectorySize;
  const std::size_t count = std::min<std::size_t>({declared, room, kMaxDirectories});
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = optional + field::kDataDirectories + i * field::kDataDirectorySize;
    layout.directories.push_back(
        {file.u32(at, L"a data directory"), file.u32(at + 4, L"a data directory")});
  }
  layout.sectionTable = optional + optionalSize;
}

void readSections(const ByteReader& file, Layout& layout) {
  const std::uint16_t count =
      file.u16(layout.fileHeader + field::kNumberOfSections, L"the file header");
  const auto table =
      file.bytes(layout.sectionTable, count * field::kSectionHeaderSize, L"the section table");
  if (layout.sectionTable + table.size() > layout.sizeOfHeaders) {
    throw Failure(L"its section table runs past SizeOfHeaders");
  }
  const ByteReader headers(table, L"the section table");
  layout.sectionsEnd = layout.sizeOfHeaders;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = i * field::kSectionHeaderSize;
    Section section;
    const auto name = headers.bytes(at, 8, L"a section name");
    section.name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
    section.virtualSize = headers.u32(at + field::kSectionVirtualSize, L"VirtualSize");
    section.virtualAddress = headers.u32(at + field::kSectionVirtualAddress, L"VirtualAddress");
    section.rawSize = headers.u32(at + field::kSectionRawSize, L"SizeOfRawData");
    section.rawOffset =
        section.rawSize == 0 ? 0 : headers.u32(at + field::kSectionRawOffset, L"PointerToRawData");
    section.characteristics = headers.u32(at + field::kSectionCharacteristics, L"Characteristics");
    const std::wstring what = fmt::format(L"the raw data of section {}", i + 1);
    file.bytes(section.rawOffset, section.rawSize, what);
    if (!layout.sections.empty() && section.virtualAddress < layout.sections.back().virtualEnd()) {
      throw Failure(fmt::format(L"its section {} does not follow the one before it", i + 1));
    }
    layout.sectionsEnd =
        std::max(layout.sectionsEnd, std::uint64_t{section.rawOffset} + section.rawSize);
    layout.sections.push_back(std::move(section));
  }
}

// What follows the sections: the symbol table, the certificate table, padding.
void readTrailer(std::span<const std::uint8_t> image, const ByteReader& file, Layout& layout) {
  const std::uint32_t symbols =
      file.u32(layout.fileHeader + field::kPointerToSymbolTable, L"the file header");
  if (symbols != 0) {
    const std::uint64_t symbolBytes =
        std::uint64_t{file.u32(layout.fileHeader + field::kNumberOfSymbols, L"the file header")} *
        kSymbolSize;
    const std::uint32_t strings = file.u32(symbols + symbolBytes, L"the symbol string table");
    layout.symbols = {symbols, symbolBytes + strings};
    file.bytes(layout.symbols.offset, layout.symbols.size, L"the symbol table");
    if (layout.symbols.offset < layout.sectionsEnd) {
      throw Failure(L"its symbol table overlaps its sections");
    }
  }
  const DataDirectory security = layout.directory(kSecurityDirectory);
  if (security.size != 0) {
    layout.certificates = {security.address, security.size};
    file.bytes(layout.certificates.offset, layout.certificates.size, L"the certificate table");
    if (layout.certificates.offset < std::max(layout.sectionsEnd, layout.symbols.end())) {
      throw Failure(L"its certificate table overlaps its sections or symbols");
    }
  }
  // Every byte after the sections that is neither symbols nor certificates
  // must be zero padding.
  const auto known = [&](std::uint64_t at) -> const Extent* {
    for (const Extent* extent : {&layout.symbols, &layout.certificates}) {
      if (extent->size != 0 && at >= extent->offset && at < extent->end()) return extent;
    }
    return nullptr;
  };
  for (std::uint64_t at = layout.sectionsEnd; at < image.size();) {
    if (const Extent* extent = known(at)) {
      at = extent->end();
    } else if (image[at] != 0) {
      layout.foreignData = at;
      return;
    } else {
      ++at;
    }
  }
}

}  // namespace

const Section* Layout::sectionOf(std::uint32_t address) const {
  for (const Section& section : sections) {
    if (section.holds(address)) return &section;
  }
  return nullptr;
}

bool looksLikePe(std::span<const std::uint8_t> file) {
  return file.size() >= 2 && file[0] == 'M' && file[1] == 'Z';
}

Layout readLayout(std::span<const std::uint8_t> image) {
  const ByteReader file(image, L"the file");
  if (!looksLikePe(image)) throw Failure(L"it does not start with a DOS header");
  Layout layout;
  const std::uint32_t peOffset = file.u32(kPeOffsetField, L"the DOS header");
  if (file.u32(peOffset, L"the PE signature") != kPeSignature) {
    throw Failure(L"it has no PE signature where its DOS header points");
  }
  layout.fileHeader = peOffset + 4;
  layout.optionalHeader = layout.fileHeader + field::kFileHeaderSize;
  readOptionalHeader(file, layout);
  readSections(file, layout);
  readTrailer(image, file, layout);
  return layout;
}

std::span<const std::uint8_t> bytesAt(std::span<const std::uint8_t> image, const Layout& layout,
                                      std::uint32_t address, std::uint32_t size,
                                      std::wstring_view what) {
  // Raw bytes past the virtual size are file padding that the loader does not map.
  const Section* section = layout.sectionOf(address);
  const std::uint64_t inSection = address - (section ? section->virtualAddress : 0);
  if (section == nullptr || inSection + size > section->rawSize ||
      inSection + size > section->virtualEnd() - section->virtualAddress) {
    throw Failure(fmt::format(L"{} ({} bytes at address 0x{:X}) lies outside the file's sections",
                              what, size, address));
  }
  return ByteReader(image, L"the file").bytes(section->rawOffset + inSection, size, what);
}

}  // namespace aerolith::pack::pe
