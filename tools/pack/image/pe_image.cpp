#include "pack/image/pe_image.hpp"

#include <algorithm>
#include <array>

#include <fmt/xchar.h>

#include "base/byte_order.hpp"
#include "bundle/format.hpp"
#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/image/pe_checksum.hpp"

namespace aerolith::pack::pe {
namespace {

namespace format = bundle::format;

constexpr std::uint32_t kVersionInfoId = 1;  // VS_VERSION_INFO

constexpr std::array<std::wstring_view, 16> kDirectoryNames = {
    L"export table",         L"import table",       L"resource table",
    L"exception table",      L"certificate table",  L"base relocation table",
    L"debug directory",      L"architecture data",  L"global pointer",
    L"TLS directory",        L"load configuration", L"bound import table",
    L"import address table", L"delay import table", L"CLR header",
    L"reserved directory"};

std::uint64_t alignUp(std::uint64_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

std::wstring sectionName(const Section& section) {
  return fmt::format(L"'{}'", std::wstring(section.name.begin(), section.name.end()));
}

// A data directory's address is one the image's code may rely on; all but the
// certificate table's, which is a file offset.
bool pointsInto(const Layout& layout, std::size_t index, const Section& section) {
  const DataDirectory directory = layout.directory(index);
  return index != kSecurityDirectory && directory.size != 0 && section.holds(directory.address);
}

// Sections are rewritten in place, so their raw data must lie in the file in
// the order of their addresses.
void checkFileOrder(const Layout& layout) {
  std::uint64_t end = layout.sizeOfHeaders;
  for (const Section& section : layout.sections) {
    if (section.rawSize == 0) continue;
    if (section.rawOffset < end) {
      throw Failure(fmt::format(L"its section {} does not lie in the file in address order",
                                sectionName(section)));
    }
    end = std::uint64_t{section.rawOffset} + section.rawSize;
  }
}

// The index of the section that holds the resource table and nothing else;
// the section count when the image has no resources.
std::size_t resourceSection(const Layout& layout) {
  const DataDirectory table = layout.directory(kResourceDirectory);
  if (table.size == 0) return layout.sections.size();
  for (std::size_t i = 0; i < layout.sections.size(); ++i) {
    const Section& section = layout.sections[i];
    if (!section.holds(table.address)) continue;
    if (section.virtualAddress != table.address) {
      throw Failure(
          fmt::format(L"its resource table does not start its section {}", sectionName(section)));
    }
    for (std::size_t index = 0; index < layout.directories.size(); ++index) {
      if (index != kResourceDirectory && pointsInto(layout, index, section)) {
        throw Failure(fmt::format(L"its resource section {} also holds the {}",
                                  sectionName(section), kDirectoryNames[index]));
      }
    }
    return i;
  }
  throw Failure(L"its resource table lies outside its sections");
}

// Sections after the resources move when the resources change size. Only those
// the loader may discard can: no code addresses them. Their one table that is
// found through a data directory, the base relocations, moves along.
void checkMovable(const Layout& layout, std::size_t first) {
  for (std::size_t i = first; i < layout.sections.size(); ++i) {
    const Section& section = layout.sections[i];
    if ((section.characteristics & kSectionDiscardable) == 0) {
      throw Failure(
          fmt::format(L"its resource section is followed by section {}, which its code may address",
                      sectionName(section)));
    }
    for (std::size_t index = 0; index < layout.directories.size(); ++index) {
      if (index != kBaseRelocationDirectory && pointsInto(layout, index, section)) {
        throw Failure(
            fmt::format(L"its resource section is followed by section {}, which holds the {}",
                        sectionName(section), kDirectoryNames[index]));
      }
    }
  }
}

// An image without resources gets a section after the others, whose header
// needs unused room at the end of the section table.
void checkHeaderRoom(std::span<const std::uint8_t> image, const Layout& layout) {
  const std::size_t at = layout.sectionTable + layout.sections.size() * field::kSectionHeaderSize;
  const bool room = at + field::kSectionHeaderSize <= layout.sizeOfHeaders &&
                    std::all_of(image.begin() + at, image.begin() + at + field::kSectionHeaderSize,
                                [](std::uint8_t byte) { return byte == 0; });
  if (!room) throw Failure(L"it has no resources and no room in its headers for a section");
}

// Where the sections and tables lie after a rewrite.
struct Rewrite {
  std::size_t index = 0;  // of the resource section
  bool added = false;     // a resource section of its own after the others
  std::vector<Section> sections;
  std::vector<DataDirectory> directories;
  std::uint64_t sizeOfImage = 0;
  std::uint64_t sectionsEnd = 0;  // in the file, where the symbol table goes
};

// The resource section stays where it was, or comes after the last section.
Rewrite startRewrite(const Layout& layout, std::size_t index) {
  Rewrite rewrite{index, index == layout.sections.size(), layout.sections, layout.directories};
  if (rewrite.added) {
    Section& section = rewrite.sections.emplace_back();
    section.name = ".rsrc";
    section.virtualAddress = static_cast<std::uint32_t>(alignUp(
        layout.sections.empty() ? layout.sizeOfHeaders : layout.sections.back().virtualEnd(),
        layout.sectionAlignment));
    section.rawOffset =
        static_cast<std::uint32_t>(alignUp(layout.sectionsEnd, layout.fileAlignment));
    section.characteristics = kSectionInitializedData | kSectionRead;
  }
  return rewrite;
}

// Gives the resource section `size` bytes and packs the sections after it
// behind it, with the data directories that point into them; certificates go.
// Throws Failure when the image would outgrow its 32-bit fields.
void placeSections(const Layout& layout, std::uint32_t size, Rewrite& rewrite) {
  Section& resources = rewrite.sections[rewrite.index];
  resources.virtualSize = size;
  const std::uint64_t rawSize = alignUp(size, layout.fileAlignment);
  rewrite.directories[kResourceDirectory] = {resources.virtualAddress, size};
  if (rewrite.directories.size() > kSecurityDirectory) {
    rewrite.directories[kSecurityDirectory] = {};
  }
  std::uint64_t address = alignUp(resources.virtualEnd(), layout.sectionAlignment);
  std::uint64_t raw = resources.rawOffset + rawSize;
  for (std::size_t i = rewrite.index + 1; i < rewrite.sections.size(); ++i) {
    const Section& old = layout.sections[i];
    for (std::size_t d = 0; d < rewrite.directories.size(); ++d) {
      if (pointsInto(layout, d, old)) {
        rewrite.directories[d].address = static_cast<std::uint32_t>(
            address + layout.directories[d].address - old.virtualAddress);
      }
    }
    Section& section = rewrite.sections[i];
    section.virtualAddress = static_cast<std::uint32_t>(address);
    if (section.rawSize != 0) {
      section.rawOffset = static_cast<std::uint32_t>(raw);
      raw += section.rawSize;
    }
    address = alignUp(address + (old.virtualEnd() - old.virtualAddress), layout.sectionAlignment);
  }
  if (address > UINT32_MAX || raw + layout.symbols.size > UINT32_MAX) {
    throw Failure(fmt::format(L"its resources ({} bytes) would not fit its 32-bit fields", size));
  }
  resources.rawSize = static_cast<std::uint32_t>(rawSize);
  rewrite.sizeOfImage = address;
  rewrite.sectionsEnd = raw;
}

// The image's headers with every field that depends on the layout; the
// checksum is zero until the whole file is known.
std::vector<std::uint8_t> rewrittenHeaders(std::span<const std::uint8_t> image,
                                           const Layout& layout, const Rewrite& rewrite) {
  std::vector<std::uint8_t> headers(image.begin(), image.begin() + layout.sizeOfHeaders);
  const auto put32 = [&](std::size_t at, std::uint64_t value) {
    base::storeLe32(headers.data() + at, static_cast<std::uint32_t>(value));
  };
  const Section& resources = rewrite.sections[rewrite.index];
  if (rewrite.added) {
    const std::size_t at = layout.fileHeader + field::kNumberOfSections;
    headers[at] = static_cast<std::uint8_t>(rewrite.sections.size());
    headers[at + 1] = static_cast<std::uint8_t>(rewrite.sections.size() >> 8);
    std::copy(resources.name.begin(), resources.name.end(),
              headers.begin() + layout.sectionTable + rewrite.index * field::kSectionHeaderSize);
  }
  for (std::size_t i = rewrite.index; i < rewrite.sections.size(); ++i) {
    const Section& section = rewrite.sections[i];
    const std::size_t at = layout.sectionTable + i * field::kSectionHeaderSize;
    put32(at + field::kSectionVirtualSize, section.virtualSize);
    put32(at + field::kSectionVirtualAddress, section.virtualAddress);
    put32(at + field::kSectionRawSize, section.rawSize);
    put32(at + field::kSectionRawOffset, section.rawOffset);
    put32(at + field::kSectionCharacteristics, section.characteristics);
  }
  const std::size_t optional = layout.optionalHeader;
  for (std::size_t d = 0; d < rewrite.directories.size(); ++d) {
    const std::size_t at = optional + field::kDataDirectories + d * field::kDataDirectorySize;
    put32(at, rewrite.directories[d].address);
    put32(at + 4, rewrite.directories[d].size);
  }
  put32(optional + field::kSizeOfImage, rewrite.sizeOfImage);
  if ((resources.characteristics & kSectionInitializedData) != 0) {
    const std::size_t at = optional + field::kSizeOfInitializedData;
    const std::uint32_t oldRawSize = rewrite.added ? 0 : layout.sections[rewrite.index].rawSize;
    put32(at, base::loadLe32(headers.data() + at) - oldRawSize + resources.rawSize);
  }
  put32(optional + field::kCheckSum, 0);
  if (layout.symbols.size != 0) {
    put32(layout.fileHeader + field::kPointerToSymbolTable, rewrite.sectionsEnd);
  }
  return headers;
}

// Writes the output's bytes in order and sums them for the header checksum.
class ChecksummedOutput {
 public:
  explicit ChecksummedOutput(OutputFile& out) : out_(out) {}

  void write(std::span<const std::uint8_t> bytes) {
    out_.write(bytes);
    checksum_.add(bytes);
    written_ += bytes.size();
  }
  void padTo(std::uint64_t offset) {
    static constexpr std::array<std::uint8_t, 4096> kZeros{};
    while (written_ < offset) {
      write(std::span(kZeros).first(std::min<std::uint64_t>(offset - written_, kZeros.size())));
    }
  }
  std::uint32_t checksum() const { return checksum_.value(); }

 private:
  OutputFile& out_;
  Checksum checksum_;
  std::uint64_t written_ = 0;
};

}  // namespace

Image::Image(std::span<const std::uint8_t> bytes) : bytes_(bytes), layout_(readLayout(bytes)) {
  if (layout_.directory(kResourceDirectory).size != 0) {
    resources_ = ResourceTable::read(bytes_, layout_);
  }
}

std::optional<std::span<const std::uint8_t>> Image::resource(std::uint32_t type,
                                                             std::uint32_t id) const {
  const ResourceData* data = resources_.find(type, id);
  if (data == nullptr) return std::nullopt;
  return data->bytes;
}

std::optional<FileVersion> Image::version() const {
  const ResourceData* data = resources_.find(kVersionResourceType, kVersionInfoId);
  if (data == nullptr) return std::nullopt;
  return readFileVersion(data->bytes);
}

std::optional<std::wstring> Image::versionString(std::u16string_view key) const {
  const ResourceData* data = resources_.find(kVersionResourceType, kVersionInfoId);
  if (data == nullptr) return std::nullopt;
  return readVersionString(data->bytes, key);
}

void Image::write(const BundleEdit& edit, OutputFile& out) {
  if (layout_.foreignData) {
    throw Failure(
        fmt::format(L"it holds data after its sections (at offset {}) that a rewrite would lose",
                    *layout_.foreignData));
  }
  if (layout_.directories.size() <= kResourceDirectory) {
    throw Failure(L"its headers have no resource data directory");
  }
  checkFileOrder(layout_);
  const std::size_t index = resourceSection(layout_);
  if (index == layout_.sections.size()) {
    checkHeaderRoom(bytes_, layout_);
  } else {
    checkMovable(layout_, index + 1);
  }

  // Every version resource is stamped; the copies live until the image is written.
  std::vector<std::vector<std::uint8_t>> stamped;
  if (edit.version) {
    const std::vector<ResourceData*> blocks = resources_.ofType(kVersionResourceType);
    if (blocks.empty()) throw Failure(L"it has no version resource to stamp");
    stamped.reserve(blocks.size());
    for (ResourceData* data : blocks) {
      data->bytes = stamped.emplace_back(stampVersion(data->bytes, *edit.version));
    }
  }
  resources_.replace(format::kResourceType, format::kManifestResourceId, format::kResourceLanguage,
                     {edit.manifest, 0});
  resources_.replace(format::kResourceType, format::kPayloadResourceId, format::kResourceLanguage,
                     {edit.payload, 0});

  Rewrite rewrite = startRewrite(layout_, index);
  const Section& resources = rewrite.sections[index];
  const ResourceSection content = resources_.layOut(resources.virtualAddress);
  placeSections(layout_, content.size, rewrite);

  // Everything before the resource section as it was, the new section, the
  // sections after it, the symbols.
  ChecksummedOutput file(out);
  file.write(rewrittenHeaders(bytes_, layout_, rewrite));
  const std::uint64_t kept = rewrite.added ? layout_.sectionsEnd : resources.rawOffset;
  file.write(bytes_.subspan(layout_.sizeOfHeaders, kept - layout_.sizeOfHeaders));
  file.padTo(resources.rawOffset);
  file.write(content.tables);
  for (const ResourceSection::Placed& data : content.data) {
    file.padTo(std::uint64_t{resources.rawOffset} + data.offset);
    file.write(data.bytes);
  }
  file.padTo(std::uint64_t{resources.rawOffset} + resources.rawSize);
  for (std::size_t i = index + 1; i < layout_.sections.size(); ++i) {
    const Section& section = layout_.sections[i];
    file.write(bytes_.subspan(section.rawOffset, section.rawSize));
  }
  file.write(bytes_.subspan(layout_.symbols.offset, layout_.symbols.size));
  std::array<std::uint8_t, 4> checksum;
  base::storeLe32(checksum.data(), file.checksum());
  out.overwrite(layout_.optionalHeader + field::kCheckSum, checksum);
}

}  // namespace aerolith::pack::pe
