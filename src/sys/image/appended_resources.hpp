// The POSIX stand-in for resources embedded in an executable image: numbered
// byte blocks appended to the file, which the ELF loader ignores, and a table
// that a fixed trailer at the very end of the file points to.
//
//   [image][block]...[block][record]...[record][trailer]
//   record:  type u32, id u32, language u32, offset u64, size u64
//   trailer: image size u64, table offset u64, record count u32, magic "AeroRsc1"
//
// Integers are little-endian; offsets count from the start of the file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace aerolith::sys {

struct AppendedResource {
  std::uint32_t type = 0;
  std::uint32_t id = 0;
  std::uint32_t language = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

struct AppendedTable {
  enum class Status {
    kAbsent,   // the file does not end in a trailer: nothing was ever appended
    kDamaged,  // it does, but the table does not fit the file
    kPresent,
  };
  Status status = Status::kAbsent;
  std::uint64_t imageSize = 0;  // where the appended bytes start; the file size if absent
  std::vector<AppendedResource> resources;
};

// Reads the table of a whole file's bytes. Every record of a present table lies
// between the image and the table, so its block can be read without further
// checks; nothing outside `file` is read.
AppendedTable readAppendedTable(std::span<const std::uint8_t> file);

// The first resource of the given type and id, whatever its language; null if none.
const AppendedResource* findAppendedResource(const AppendedTable& table, std::uint32_t type,
                                             std::uint32_t id);

struct ResourceBlock {
  std::uint32_t type = 0;
  std::uint32_t id = 0;
  std::uint32_t language = 0;
  std::span<const std::uint8_t> data;
};

// The bytes to write after an image of `imageSize` bytes (which must not end in
// a table of its own: strip it to AppendedTable::imageSize first) so that the
// file carries `blocks`.
std::vector<std::uint8_t> encodeAppendedResources(std::uint64_t imageSize,
                                                  std::span<const ResourceBlock> blocks);

}  // namespace aerolith::sys
