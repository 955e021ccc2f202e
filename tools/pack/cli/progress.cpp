#include "pack/cli/progress.hpp"

#include <fmt/xchar.h>

#include "pack/cli/console.hpp"

namespace aerolith::pack {
namespace {

constexpr std::uint64_t kThreshold = 4 * 1024 * 1024;
constexpr double kMegabyte = 1024.0 * 1024.0;
// A log gets a line this often, plus the first and the last.
constexpr auto kLogInterval = std::chrono::seconds(2);

bool forced = false;

}  // namespace

void forceProgress() { forced = true; }

Progress::Progress(std::wstring_view activity, std::uint64_t totalBytes)
    : activity_(activity),
      total_(totalBytes),
      redrawn_(errorIsTerminal()),
      shown_(forced || (totalBytes > kThreshold && redrawn_)) {
  advance(0);
}

Progress::~Progress() {
  if (shown_ && redrawn_ && lineLength_ > 0) {
    writeError(L"\r" + std::wstring(lineLength_, L' ') + L"\r");
  }
}

void Progress::advance(std::uint64_t bytes) {
  done_ += bytes;
  if (!shown_) return;
  const int percent = total_ == 0 ? 100 : static_cast<int>(done_ * 100 / total_);
  if (percent == shownPercent_) return;
  if (redrawn_) {
    shownPercent_ = percent;
    const std::wstring text = line(percent);
    lineLength_ = text.size();
    writeError(L"\r" + text);
    return;
  }
  const Clock::time_point now = Clock::now();
  if (shownPercent_ >= 0 && percent < 100 && now - shownAt_ < kLogInterval) return;
  shownPercent_ = percent;
  shownAt_ = now;
  writeError(line(percent) + L"\n");
}

std::wstring Progress::line(int percent) const {
  return fmt::format(L"{} {:3}% ({:.1f} of {:.1f} MiB)", activity_, percent,
                     static_cast<double>(done_) / kMegabyte,
                     static_cast<double>(total_) / kMegabyte);
}

}  // namespace aerolith::pack
