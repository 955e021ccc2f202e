// A progress line on standard error for work that takes a while: shown only
// when standard error is a terminal and the work is more than a few megabytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace aerolith::pack {

class Progress {
 public:
  Progress(std::wstring_view activity, std::uint64_t totalBytes);
  ~Progress();  // clears the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void advance(std::uint64_t bytes);

 private:
  std::wstring activity_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
  int shownPercent_ = -1;
  std::size_t lineLength_ = 0;
  bool shown_;
};

}  // namespace aerolith::pack
