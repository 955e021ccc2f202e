#include "sys/file/file_time.hpp"

#include <limits>

namespace aerolith::sys {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kNanosecondsPerTick = 100;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11'644'473'600;

}  // namespace

std::optional<std::uint64_t> fileTimeFromUnix(UnixTime time) {
  constexpr auto kMaxSeconds =
      static_cast<std::int64_t>(std::numeric_limits<std::uint64_t>::max() / kTicksPerSecond);
  if (time.seconds < -kEpochDifference || time.seconds > kMaxSeconds - kEpochDifference ||
      time.nanoseconds >= 1'000'000'000) {
    return std::nullopt;
  }
  const auto ticks = static_cast<std::uint64_t>(time.seconds + kEpochDifference) * kTicksPerSecond;
  const std::uint64_t fraction = time.nanoseconds / kNanosecondsPerTick;
  if (ticks > std::numeric_limits<std::uint64_t>::max() - fraction) return std::nullopt;
  return ticks + fraction;
}

UnixTime unixFromFileTime(std::uint64_t fileTime) {
  const auto seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond);
  const auto fraction = static_cast<std::uint32_t>(fileTime % kTicksPerSecond);
  return {seconds - kEpochDifference, fraction * static_cast<std::uint32_t>(kNanosecondsPerTick)};
}

}  // namespace aerolith::sys
