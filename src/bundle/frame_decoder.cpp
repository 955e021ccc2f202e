#include "bundle/frame_decoder.hpp"

#include <algorithm>

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_d_stableOutBuffer, ZSTD_FRAMEHEADERSIZE_PREFIX
#include <zstd.h>

#include "crc32c/crc32c.hpp"

namespace aerolith::bundle {

std::uint32_t crcInPieces(std::span<const std::uint8_t> bytes, diag::Progress& progress) {
  std::uint32_t crc = 0;
  for (std::size_t at = 0; at < bytes.size(); at += kDecodePiece) {
    const std::span piece = bytes.subspan(at, std::min(kDecodePiece, bytes.size() - at));
    crc = crc32c::extend(crc, piece.data(), piece.size());
    progress.note();
  }
  return crc;
}

namespace {

// What the decoder is first given of a frame: enough to learn the size of
// the frame's header, never a whole frame, which it would decode in one call.
constexpr std::size_t kFrameStart = ZSTD_FRAMEHEADERSIZE_PREFIX(ZSTD_f_zstd1);

bool succeeded(std::size_t code) { return !ZSTD_isError(code); }

}  // namespace

FrameDecoder::FrameDecoder(std::span<const std::uint8_t> frames, std::span<std::uint8_t> output)
    : context_(ZSTD_createDCtx()), frames_(frames), output_(output) {
  failed_ = context_ == nullptr ||
            !succeeded(ZSTD_DCtx_setParameter(context_, ZSTD_d_stableOutBuffer, 1)) ||
            !succeeded(ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, ZSTD_WINDOWLOG_MAX));
}

FrameDecoder::~FrameDecoder() { ZSTD_freeDCtx(context_); }

std::optional<std::span<const std::uint8_t>> FrameDecoder::next(std::size_t piece) {
  const std::size_t start = produced_;
  while (!failed_ && produced_ - start < piece) {
    if (asked_ == 0 && consumed_ == frames_.size()) break;  // the last frame ended
    failed_ = !step();
  }
  if (failed_) return std::nullopt;
  if (produced_ == start && produced_ != output_.size()) {
    failed_ = true;  // the frames ended short of the output's end
    return std::nullopt;
  }
  return output_.subspan(start, produced_ - start);
}

// One call of the decoder. It is given no more input than it asked for (a
// block and the next block's header), so that each call yields at most one
// block and the pieces stay near their size whatever the compression ratio.
bool FrameDecoder::step() {
  if (consumed_ == given_) {
    if (given_ == frames_.size()) return false;  // the frames end inside one
    given_ = std::min(frames_.size(), given_ + (asked_ == 0 ? kFrameStart : asked_));
  }
  ZSTD_inBuffer in{frames_.data(), given_, consumed_};
  ZSTD_outBuffer out{output_.data(), output_.size(), produced_};
  const std::size_t hint = ZSTD_decompressStream(context_, &out, &in);
  if (!succeeded(hint)) return false;
  consumed_ = in.pos;
  produced_ = out.pos;
  asked_ = hint;
  return true;
}

}  // namespace aerolith::bundle
