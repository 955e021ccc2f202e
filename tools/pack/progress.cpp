#include "pack/progress.hpp"

#include <fmt/xchar.h>

#include "pack/console.hpp"

namespace aerolith::pack {
namespace {

constexpr std::uint64_t kThreshold = 4 * 1024 * 1024;
constexpr double kMegabyte = 1024.0 * 1024.0;

}  // namespace

Progress::Progress(std::wstring_view activity, std::uint64_t totalBytes)
    : activity_(activity),
      total_(totalBytes),
      shown_(totalBytes > kThreshold && errorIsTerminal()) {
  advance(0);
}

Progress::~Progress() {
  if (shown_ && lineLength_ > 0) writeError(L"\r" + std::wstring(lineLength_, L' ') + L"\r");
}

void Progress::advance(std::uint64_t bytes) {
  done_ += bytes;
  if (!shown_) return;
  const int percent = static_cast<int>(done_ * 100 / total_);
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  const std::wstring line =
      fmt::format(L"{} {:3}% ({:.1f} of {:.1f} MiB)", activity_, percent,
                  static_cast<double>(done_) / kMegabyte, static_cast<double>(total_) / kMegabyte);
  lineLength_ = line.size();
  writeError(L"\r" + line);
}

}  // namespace aerolith::pack
