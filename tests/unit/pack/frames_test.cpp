#include "pack/bundle/frames.hpp"

#include <gtest/gtest.h>
#include <zstd.h>

#include <random>

namespace aerolith::pack {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes randomBytes(std::size_t size) {
  std::mt19937 random(static_cast<std::uint32_t>(size));
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

// Width of the frame content-size field of a single-segment frame.
std::size_t contentSizeWidth(const Bytes& frame) {
  constexpr std::size_t kWidths[] = {1, 2, 4, 8};
  return kWidths[frame[4] >> 6];
}

TEST(Frames, SingleSegmentWithContentSizeAndNothingElse) {
  FrameCompressor compressor(FrameCompressor::kDefaultLevel);
  const std::pair<std::size_t, std::size_t> cases[] = {{0, 1},      {255, 1},    {256, 2},
                                                       {65'791, 2}, {65'792, 4}, {300'000, 4}};
  for (const auto& [size, width] : cases) {
    const Bytes content = randomBytes(size);
    const Bytes frame = compressor.compress(content);
    ASSERT_GE(frame.size(), 6u);
    EXPECT_EQ(frame[0], 0x28);  // magic 0xFD2FB528, little-endian
    EXPECT_EQ(frame[3], 0xFD);
    EXPECT_EQ(frame[4] & 0x27, 0x20) << size;  // single segment, no checksum, no dictionary
    EXPECT_EQ(contentSizeWidth(frame), width) << size;
    Bytes decompressed(size);
    EXPECT_EQ(ZSTD_decompress(decompressed.data(), size, frame.data(), frame.size()), size);
    EXPECT_EQ(decompressed, content) << size;
  }
}

TEST(Frames, SameContentGivesSameFrame) {
  const Bytes content = randomBytes(100'000);
  EXPECT_EQ(FrameCompressor(3).compress(content), FrameCompressor(3).compress(content));
}

}  // namespace
}  // namespace aerolith::pack
