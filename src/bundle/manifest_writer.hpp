// Builds manifest bytes from entry records: the producer's side of the format,
// also used by tests to make manifests of any shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace aerolith::bundle {

// One manifest entry, field for field.
struct EntryRecord {
  std::wstring directory;  // components joined by '\'; empty at the top level
  std::wstring name;
  std::uint32_t size = 0;
  std::uint32_t crc32c = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t compressedCrc32c = 0;
  std::uint32_t offset = 0;  // from the first byte after the payload CRC
  std::uint64_t fileTime = 0;
};

class ManifestWriter {
 public:
  ManifestWriter();

  // Appends the entry as it stands; the caller keeps to the format's limits.
  void add(const EntryRecord& entry);

  // Bytes written so far, the header's count and CRC included.
  std::size_t size() const { return bytes_.size(); }

  // The manifest with its entry count and CRC filled in.
  std::vector<std::uint8_t> finish() &&;

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t count_ = 0;
};

}  // namespace aerolith::bundle
