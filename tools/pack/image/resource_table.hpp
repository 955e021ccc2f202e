// The resource table of a Windows image: the three-level directory tree (type,
// name, language) that the resource data directory points to, read into
// memory, changed, and laid out again as the whole content of a section. Every
// resource keeps its bytes, code page, name and place; directories keep their
// header fields.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pack/image/pe_layout.hpp"

namespace aerolith::pack::pe {

inline constexpr std::uint32_t kVersionResourceType = 16;  // RT_VERSION

// A directory entry's name: a number, or a text of UTF-16 code units.
struct ResourceName {
  std::uint32_t id = 0;
  std::optional<std::u16string> text;
};

// The bytes are held by whoever made the table: the image it was read from, or
// the caller that put them in.
struct ResourceData {
  std::span<const std::uint8_t> bytes;
  std::uint32_t codePage = 0;
};

struct ResourceDirectory {
  struct Entry;
  std::uint32_t characteristics = 0;
  std::uint32_t timeDateStamp = 0;
  std::uint16_t majorVersion = 0;
  std::uint16_t minorVersion = 0;
  std::vector<Entry> entries;  // named ones first, then numbered ones by ascending id
};

struct ResourceDirectory::Entry {
  ResourceName name;
  std::unique_ptr<ResourceDirectory> directory;  // on the type and name levels
  ResourceData data;                             // on the language level
};

// A resource table laid out as a section's content. The data go after the
// tables, each at its offset, 8-aligned; the bytes between are zero.
struct ResourceSection {
  struct Placed {
    std::span<const std::uint8_t> bytes;
    std::uint32_t offset = 0;
  };
  std::vector<std::uint8_t> tables;  // directories, data entries and names: the first bytes
  std::vector<Placed> data;          // in ascending offset order
  std::uint32_t size = 0;            // up to the end of the last data
};

class ResourceTable {
 public:
  ResourceTable() = default;  // empty: an image without resources

  // The table of an image whose resource data directory is not empty. Throws
  // Failure when the tree does not lie inside the image's sections or is not
  // three levels deep.
  static ResourceTable read(std::span<const std::uint8_t> image, const Layout& layout);

  // A numbered resource in the first language stored; null if there is none.
  const ResourceData* find(std::uint32_t type, std::uint32_t id) const;

  // Every resource of the type, in every name and language.
  std::vector<ResourceData*> ofType(std::uint32_t type);

  // Stores the resource in `language` alone: its other languages go.
  void replace(std::uint32_t type, std::uint32_t id, std::uint32_t language, ResourceData data);

  // The table laid out for a section at `address`. Throws Failure when its end
  // would not fit a 32-bit address.
  ResourceSection layOut(std::uint32_t address) const;

 private:
  ResourceDirectory root_;
};

}  // namespace aerolith::pack::pe
