// Where the two resources of a bundle lie: in the launcher's own image, or in
// buffers of a tool or test. The bytes are used in place, never freed or copied;
// whoever made the view keeps them alive while entries point into them.
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

}  // namespace aerolith::bundle
