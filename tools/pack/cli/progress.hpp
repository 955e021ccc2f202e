// A progress line on standard error for work that takes a while: redrawn in
// place when standard error is a terminal and the work is more than a few
// megabytes; with --progress also elsewhere (a build log), as a whole line
// every few seconds.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace aerolith::pack {

// --progress: every Progress made afterwards is shown, whatever its size and
// wherever standard error goes.
void forceProgress();

class Progress {
 public:
  Progress(std::wstring_view activity, std::uint64_t totalBytes);
  ~Progress();  // clears a redrawn line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void advance(std::uint64_t bytes);

 private:
  using Clock = std::chrono::steady_clock;

  std::wstring line(int percent) const;

  std::wstring activity_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  int shownPercent_ = -1;
  std::size_t lineLength_ = 0;
  bool redrawn_;  // on a terminal
  bool shown_;
  Clock::time_point shownAt_;
};

}  // namespace aerolith::pack
