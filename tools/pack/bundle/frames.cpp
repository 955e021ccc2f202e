#include "pack/bundle/frames.hpp"

#include <zstd.h>

#include <algorithm>
#include <bit>
#include <stdexcept>

#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

// Zstandard's frame header descriptor, the byte after the magic number.
constexpr std::uint8_t kSingleSegmentFlag = 0x20;
constexpr std::uint8_t kChecksumFlag = 0x04;
constexpr std::uint8_t kDictionaryIdFlags = 0x03;

void setParameter(ZSTD_CCtx* context, ZSTD_cParameter parameter, int value) {
  // Only a value outside the parameter's bounds fails, and ours are checked.
  if (ZSTD_isError(ZSTD_CCtx_setParameter(context, parameter, value))) {
    throw std::logic_error("zstd parameter out of bounds");
  }
}

}  // namespace

FrameCompressor::FrameCompressor(int level) : context_(ZSTD_createCCtx()), level_(level) {
  if (context_ == nullptr) throw std::bad_alloc();
}

FrameCompressor::~FrameCompressor() { ZSTD_freeCCtx(context_); }

std::vector<std::uint8_t> FrameCompressor::compress(std::span<const std::uint8_t> content) {
  ZSTD_CCtx_reset(context_, ZSTD_reset_session_and_parameters);
  setParameter(context_, ZSTD_c_compressionLevel, level_);
  setParameter(context_, ZSTD_c_contentSizeFlag, 1);
  setParameter(context_, ZSTD_c_checksumFlag, 0);
  setParameter(context_, ZSTD_c_dictIDFlag, 0);
  // A frame is single-segment when its window covers the whole content; the
  // level's own window may be smaller than a large file. Zstandard shrinks the
  // window to the content anyway, so for small files this changes nothing.
  constexpr int kMinWindowLog = 10;  // ZSTD_WINDOWLOG_MIN
  const int contentLog = static_cast<int>(std::bit_width(content.empty() ? 0 : content.size() - 1));
  setParameter(context_, ZSTD_c_windowLog, std::max(kMinWindowLog, contentLog));

  std::vector<std::uint8_t> frame(ZSTD_compressBound(content.size()));
  const std::size_t size =
      ZSTD_compress2(context_, frame.data(), frame.size(), content.data(), content.size());
  if (ZSTD_isError(size)) {
    throw Failure(fmt::format(L"compression failed: {}", text::fromUtf8(ZSTD_getErrorName(size))));
  }
  frame.resize(size);
  if ((frame[4] & (kSingleSegmentFlag | kChecksumFlag | kDictionaryIdFlags)) !=
      kSingleSegmentFlag) {
    throw std::logic_error("zstd wrote a frame header other than the one asked for");
  }
  return frame;
}

}  // namespace aerolith::pack
