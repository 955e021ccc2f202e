#include "pack/image/resource_table.hpp"

#include <algorithm>
#include <unordered_map>

#include <fmt/xchar.h>

#include "base/byte_order.hpp"
#include "pack/base/failure.hpp"
#include "pack/image/byte_reader.hpp"

namespace aerolith::pack::pe {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000;
constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
constexpr std::size_t kLevels = 3;  // type, name, language
constexpr std::uint32_t kDataAlignment = 8;

std::uint64_t alignUp(std::uint64_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

class TreeReader {
 public:
  TreeReader(std::span<const std::uint8_t> image, const Layout& layout,
             std::span<const std::uint8_t> section)
      : image_(image),
        layout_(layout),
        section_(section, L"the resource section"),
        // Each entry takes 8 bytes of the section, so a tree that has more
        // reaches some of them twice: a loop, or a trap of shared directories.
        entriesLeft_(section.size() / kDirectoryEntrySize) {}

  ResourceDirectory readDirectory(std::uint32_t offset, std::size_t level) {
    ResourceDirectory directory;
    directory.characteristics = section_.u32(offset, L"a resource directory");
    directory.timeDateStamp = section_.u32(offset + 4, L"a resource directory");
    directory.majorVersion = section_.u16(offset + 8, L"a resource directory");
    directory.minorVersion = section_.u16(offset + 10, L"a resource directory");
    const std::size_t count = std::size_t{section_.u16(offset + 12, L"a resource directory")} +
                              section_.u16(offset + 14, L"a resource directory");
    if (count > entriesLeft_) throw Failure(L"the resource table holds a loop");
    entriesLeft_ -= count;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t at = offset + kDirectoryHeaderSize + i * kDirectoryEntrySize;
      ResourceDirectory::Entry entry;
      entry.name = name(section_.u32(at, L"a resource directory entry"));
      const std::uint32_t target = section_.u32(at + 4, L"a resource directory entry");
      const bool leaf = level + 1 == kLevels;
      if (((target & kHighBit) != 0) == leaf) {
        throw Failure(L"the resource table is not three levels deep (type, name, language)");
      }
      if (leaf) {
        entry.data = data(target);
      } else {
        entry.directory =
            std::make_unique<ResourceDirectory>(readDirectory(target & ~kHighBit, level + 1));
      }
      directory.entries.push_back(std::move(entry));
    }
    return directory;
  }

 private:
  ResourceName name(std::uint32_t field) {
    if ((field & kHighBit) == 0) return {field, std::nullopt};
    const std::uint32_t offset = field & ~kHighBit;
    const std::uint16_t length = section_.u16(offset, L"a resource name");
    const auto units = section_.bytes(offset + 2, length * 2u, L"a resource name");
    std::u16string text;
    for (std::size_t i = 0; i < units.size(); i += 2) {
      text.push_back(static_cast<char16_t>(units[i] | units[i + 1] << 8));
    }
    return {0, std::move(text)};
  }

  ResourceData data(std::uint32_t offset) {
    const std::uint32_t address = section_.u32(offset, L"a resource data entry");
    const std::uint32_t size = section_.u32(offset + 4, L"a resource data entry");
    return {bytesAt(image_, layout_, address, size, L"a resource's data"),
            section_.u32(offset + 8, L"a resource data entry")};
  }

  std::span<const std::uint8_t> image_;
  const Layout& layout_;
  ByteReader section_;
  std::size_t entriesLeft_;
};

bool sameName(const ResourceName& name, std::uint32_t id) { return !name.text && name.id == id; }

// The entry of a numbered name, made in its place among the numbered ones if
// it is missing.
ResourceDirectory::Entry& numbered(ResourceDirectory& directory, std::uint32_t id) {
  auto& entries = directory.entries;
  const auto place = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
    return !entry.name.text && entry.name.id >= id;
  });
  if (place != entries.end() && place->name.id == id) return *place;
  ResourceDirectory::Entry entry;
  entry.name = {id, std::nullopt};
  return *entries.insert(place, std::move(entry));
}

ResourceDirectory& subdirectory(ResourceDirectory& directory, std::uint32_t id) {
  ResourceDirectory::Entry& entry = numbered(directory, id);
  if (!entry.directory) entry.directory = std::make_unique<ResourceDirectory>();
  return *entry.directory;
}

void appendLe16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

ResourceTable ResourceTable::read(std::span<const std::uint8_t> image, const Layout& layout) {
  // The tree lies at the directory's address, up to the end of its section;
  // the data may lie anywhere in the image.
  const std::uint32_t address = layout.directory(kResourceDirectory).address;
  const Section* section = layout.sectionOf(address);
  const std::uint64_t end =
      section == nullptr ? 0
                         : std::min(section->virtualEnd(),
                                    std::uint64_t{section->virtualAddress} + section->rawSize);
  if (address >= end) throw Failure(L"its resource table lies outside its sections' data");
  const auto bytes = bytesAt(image, layout, address, static_cast<std::uint32_t>(end - address),
                             L"the resource table");
  ResourceTable table;
  table.root_ = TreeReader(image, layout, bytes).readDirectory(0, 0);
  return table;
}

const ResourceData* ResourceTable::find(std::uint32_t type, std::uint32_t id) const {
  for (const auto& types : root_.entries) {
    if (!sameName(types.name, type)) continue;
    for (const auto& names : types.directory->entries) {
      if (sameName(names.name, id) && !names.directory->entries.empty()) {
        return &names.directory->entries.front().data;
      }
    }
  }
  return nullptr;
}

std::vector<ResourceData*> ResourceTable::ofType(std::uint32_t type) {
  std::vector<ResourceData*> found;
  for (auto& types : root_.entries) {
    if (!sameName(types.name, type)) continue;
    for (auto& names : types.directory->entries) {
      for (auto& languages : names.directory->entries) found.push_back(&languages.data);
    }
  }
  return found;
}

void ResourceTable::replace(std::uint32_t type, std::uint32_t id, std::uint32_t language,
                            ResourceData data) {
  ResourceDirectory& languages = subdirectory(subdirectory(root_, type), id);
  languages.entries.clear();
  numbered(languages, language).data = data;
}

// The layout of the system's resource compiler: every directory, breadth
// first, then every data entry, then the names, then the data.
ResourceSection ResourceTable::layOut(std::uint32_t address) const {
  std::vector<const ResourceDirectory*> directories = {&root_};
  for (std::size_t i = 0; i < directories.size(); ++i) {
    for (const auto& entry : directories[i]->entries) {
      if (entry.directory) directories.push_back(entry.directory.get());
    }
  }
  std::unordered_map<const ResourceDirectory*, std::uint32_t> directoryOffsets;
  std::uint64_t end = 0;
  for (const ResourceDirectory* directory : directories) {
    directoryOffsets[directory] = static_cast<std::uint32_t>(end);
    end += kDirectoryHeaderSize + directory->entries.size() * kDirectoryEntrySize;
  }
  std::unordered_map<const ResourceDirectory::Entry*, std::uint32_t> dataEntryOffsets;
  std::unordered_map<const ResourceDirectory::Entry*, std::uint32_t> nameOffsets;
  for (const ResourceDirectory* directory : directories) {
    for (const auto& entry : directory->entries) {
      if (!entry.directory) {
        dataEntryOffsets[&entry] = static_cast<std::uint32_t>(end);
        end += kDataEntrySize;
      }
    }
  }
  for (const ResourceDirectory* directory : directories) {
    for (const auto& entry : directory->entries) {
      if (entry.name.text) {
        nameOffsets[&entry] = static_cast<std::uint32_t>(end);
        end += 2 + 2 * entry.name.text->size();
      }
    }
  }
  ResourceSection section;
  for (const ResourceDirectory* directory : directories) {
    for (const auto& entry : directory->entries) {
      if (entry.directory) continue;
      end = alignUp(end, kDataAlignment);
      section.data.push_back({entry.data.bytes, static_cast<std::uint32_t>(end)});
      end += entry.data.bytes.size();
    }
  }
  if (address + end > UINT32_MAX) {
    throw Failure(fmt::format(L"its resources ({} bytes) would not fit its 32-bit addresses", end));
  }
  section.size = static_cast<std::uint32_t>(end);

  std::vector<std::uint8_t>& out = section.tables;
  std::size_t placed = 0;
  for (const ResourceDirectory* directory : directories) {
    const auto named = std::count_if(directory->entries.begin(), directory->entries.end(),
                                     [](const auto& entry) { return entry.name.text.has_value(); });
    base::appendLe32(out, directory->characteristics);
    base::appendLe32(out, directory->timeDateStamp);
    appendLe16(out, directory->majorVersion);
    appendLe16(out, directory->minorVersion);
    appendLe16(out, static_cast<std::uint16_t>(named));
    appendLe16(out, static_cast<std::uint16_t>(directory->entries.size() - named));
    for (const auto& entry : directory->entries) {
      base::appendLe32(out, entry.name.text ? kHighBit | nameOffsets[&entry] : entry.name.id);
      base::appendLe32(out, entry.directory ? kHighBit | directoryOffsets[entry.directory.get()]
                                            : dataEntryOffsets[&entry]);
    }
  }
  for (const ResourceDirectory* directory : directories) {
    for (const auto& entry : directory->entries) {
      if (entry.directory) continue;
      base::appendLe32(out, address + section.data[placed++].offset);
      base::appendLe32(out, static_cast<std::uint32_t>(entry.data.bytes.size()));
      base::appendLe32(out, entry.data.codePage);
      base::appendLe32(out, 0);
    }
  }
  for (const ResourceDirectory* directory : directories) {
    for (const auto& entry : directory->entries) {
      if (!entry.name.text) continue;
      appendLe16(out, static_cast<std::uint16_t>(entry.name.text->size()));
      for (const char16_t unit : *entry.name.text) appendLe16(out, unit);
    }
  }
  return section;
}

}  // namespace aerolith::pack::pe
