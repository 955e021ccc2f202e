// Where the two resources of the bundle lie in the launcher's own image. Set
// once by loading; the bytes are used in place and never freed or copied.
#pragma once

#include <cstdint>
#include <span>

namespace aerolith::bundle {

struct BundleView {
  const std::uint8_t* manifestData = nullptr;
  std::int32_t manifestSize = 0;
  const std::uint8_t* payloadData = nullptr;
  std::int32_t payloadSize = 0;

  std::span<const std::uint8_t> manifest() const {
    return {manifestData, static_cast<std::size_t>(manifestSize)};
  }
  std::span<const std::uint8_t> payload() const {
    return {payloadData, static_cast<std::size_t>(payloadSize)};
  }
};

// The process's bundle: written by loading before anything reads it, on the
// main thread, and left alone afterwards.
inline BundleView bundleView;

}  // namespace aerolith::bundle
