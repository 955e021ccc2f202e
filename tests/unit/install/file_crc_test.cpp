#include "install/file_crc.hpp"

#include <gtest/gtest.h>

#include <string>

#include "crc32c/crc32c.hpp"
#include "support/results.hpp"
#include "support/temp_dir.hpp"

namespace aerolith::install {
namespace {

// Nothing watches a test's signs of life.
diag::Progress unwatched;

std::uint32_t crcOf(const std::string& bytes) {
  return crc32c::extend(0, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Sizes around the 64 KiB chunk: the last partial chunk and the empty read after
// a whole number of chunks must both be right; a file longer than the limit
// (by one byte, or by far, across a chunk or not) is told apart, never summed.
TEST(FileCrc, MatchesTheCrcOfTheWholeContentUpToTheLimitAtEverySizeAroundTheChunk) {
  testing::TempDir dir;
  const sys::Folder folder = testing::valueOf(sys::Folder::open(dir.path()));
  for (const std::size_t size : {0u, 1u, 65'535u, 65'536u, 65'537u, 131'072u, 200'003u}) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 131) ^ (i >> 9));
    testing::writeFile(dir / std::to_string(size), content);
    EXPECT_EQ(computeFileCrc32c(folder, std::to_string(size), size, unwatched), crcOf(content))
        << size;
    EXPECT_EQ(computeFileCrc32c(folder, std::to_string(size), size + 7, unwatched), crcOf(content))
        << size;
    for (const std::size_t limit : {size - 1, size / 2, std::size_t{0}}) {
      if (limit >= size) continue;
      EXPECT_EQ(computeFileCrc32c(folder, std::to_string(size), limit, unwatched), std::nullopt)
          << size << " > " << limit;
    }
  }
}

TEST(FileCrc, AFileThatCannotBeOpenedCountsAsNoBytes) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  const sys::Folder folder = testing::valueOf(sys::Folder::open(dir.path()));
  EXPECT_EQ(computeFileCrc32c(folder, "missing", 1, unwatched), 0u);
  EXPECT_EQ(computeFileCrc32c(folder, "folder", 1, unwatched), 0u);  // a folder reads as nothing
}

}  // namespace
}  // namespace aerolith::install
