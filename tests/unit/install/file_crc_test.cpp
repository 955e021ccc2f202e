#include "install/file_crc.hpp"

#include <gtest/gtest.h>

#include <string>

#include "bundle/crc32c.hpp"
#include "support/temp_dir.hpp"

namespace aerolith::install {
namespace {

std::uint32_t crcOf(const std::string& bytes) {
  return bundle::crc32c::extend(0, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                bytes.size());
}

// Sizes around the 64 KiB chunk: the last partial chunk and the empty read after
// a whole number of chunks must both be right.
TEST(FileCrc, MatchesTheCrcOfTheWholeContentAtEverySizeAroundTheChunk) {
  testing::TempDir dir;
  for (const std::size_t size : {0u, 1u, 65'535u, 65'536u, 65'537u, 131'072u, 200'003u}) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 131) ^ (i >> 9));
    const auto file = dir / std::to_string(size);
    testing::writeFile(file, content);
    EXPECT_EQ(computeFileCrc32c(file), crcOf(content)) << size;
  }
}

TEST(FileCrc, AFileThatCannotBeOpenedCountsAsNoBytes) {
  testing::TempDir dir;
  EXPECT_EQ(computeFileCrc32c(dir / "missing"), 0u);
  EXPECT_EQ(computeFileCrc32c(dir.path()), 0u);  // a folder reads as nothing
}

}  // namespace
}  // namespace aerolith::install
