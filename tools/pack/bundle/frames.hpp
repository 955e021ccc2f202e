// The Zstandard frames of the payload: one per file, single-segment, with the
// content size in the header, no checksum and no dictionary id.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct ZSTD_CCtx_s;

namespace aerolith::pack {

class FrameCompressor {
 public:
  static constexpr int kMinLevel = 1;
  static constexpr int kMaxLevel = 22;
  static constexpr int kDefaultLevel = 19;

  explicit FrameCompressor(int level);
  ~FrameCompressor();
  FrameCompressor(const FrameCompressor&) = delete;
  FrameCompressor& operator=(const FrameCompressor&) = delete;

  std::vector<std::uint8_t> compress(std::span<const std::uint8_t> content);

 private:
  ZSTD_CCtx_s* context_;
  int level_;
};

}  // namespace aerolith::pack
