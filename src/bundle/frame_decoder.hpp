// Decoding of an entry's Zstandard frame a piece at a time: each piece of
// content is handed on as soon as it is decoded and is a sign of life for the
// watchdog, so that an entry of a gigabyte never decodes in silence, and a
// consumer can start on the first bytes before the last are decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "diag/progress.hpp"

struct ZSTD_DCtx_s;

namespace aerolith::bundle {

// How much content is decoded, or checked, between two signs of life.
inline constexpr std::size_t kDecodePiece = 4 * 1024 * 1024;

// The CRC-32C of bytes that may run to a gigabyte, noting progress after each
// piece: reading them from a slow disk is work the watchdog must see.
std::uint32_t crcInPieces(std::span<const std::uint8_t> bytes, diag::Progress& progress);

// Decodes frames (Zstandard or skippable, back to back) straight into one
// output buffer, which also serves as the decoder's window: the decoder holds
// no copy of the content, and takes any window a frame asks for, since no
// frame yields more than the buffer holds.
class FrameDecoder {
 public:
  FrameDecoder(std::span<const std::uint8_t> frames, std::span<std::uint8_t> output);
  ~FrameDecoder();
  FrameDecoder(const FrameDecoder&) = delete;
  FrameDecoder& operator=(const FrameDecoder&) = delete;

  // Decodes on until at least `piece` more bytes are in the output, or the
  // frames end, and returns the bytes this call decoded: empty once the frames
  // ended with the output exactly full. nullopt for a damaged frame, frames
  // cut short, frames that yield more or less than the output holds, or a
  // decoder that could not be made; the decoder stays failed then.
  [[nodiscard]] std::optional<std::span<const std::uint8_t>> next(std::size_t piece);

 private:
  bool step();

  ZSTD_DCtx_s* context_;
  std::span<const std::uint8_t> frames_;
  std::span<std::uint8_t> output_;
  std::size_t given_ = 0;     // of the frames, handed to the decoder so far
  std::size_t consumed_ = 0;  // of those, taken by it
  std::size_t produced_ = 0;
  std::size_t asked_ = 0;  // input the decoder asked for; 0 between frames
  bool failed_ = false;
};

// Decodes `frames` into `output`, handing each piece to `sink` (called with a
// std::span<const std::uint8_t> of `output`, in order) and noting `progress`
// after each. True once the frames yielded exactly output.size() bytes; false
// as FrameDecoder::next fails, with `output` then holding what was decoded.
template <typename Sink>
[[nodiscard]] bool decodeFrames(std::span<const std::uint8_t> frames,
                                std::span<std::uint8_t> output, Sink&& sink,
                                diag::Progress& progress) {
  FrameDecoder decoder(frames, output);
  for (;;) {
    const std::optional<std::span<const std::uint8_t>> piece = decoder.next(kDecodePiece);
    if (!piece) return false;
    if (piece->empty()) return true;
    sink(*piece);
    progress.note();
  }
}

}  // namespace aerolith::bundle
