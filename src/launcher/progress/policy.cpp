#include "launcher/progress/policy.hpp"

#include "launcher/texts/messages.hpp"

namespace aerolith::launcher {

std::wstring_view activityText(install::SyncActivity activity) {
  switch (activity) {
    case install::SyncActivity::kInstall:
      return messages::kInstalling;
    case install::SyncActivity::kUpdate:
      return messages::kUpdating;
    case install::SyncActivity::kRepair:
      break;
  }
  return messages::kRepairing;
}

std::uint32_t progressStep(std::uint64_t written, std::uint64_t toWrite) {
  if (toWrite == 0) return 0;
  // 64-bit counts times the steps need more than 64 bits.
  const unsigned __int128 step =
      static_cast<unsigned __int128>(std::min(written, toWrite)) * sys::kProgressSteps / toWrite;
  return static_cast<std::uint32_t>(step);
}

std::optional<ProgressView> ProgressPolicy::view(std::chrono::nanoseconds elapsed,
                                                 const install::SyncProgressSnapshot& progress) {
  if (!showing_) {
    const bool worthShowing = progress.toWrite > kProgressWorthShowing;
    const bool stillWriting = progress.written < progress.toWrite;
    if (elapsed < kProgressDelay || !worthShowing || !stillWriting) return std::nullopt;
    showing_ = true;
  }
  step_ = std::max(step_, progressStep(progress.written, progress.toWrite));
  return ProgressView{activityText(progress.activity), step_};
}

}  // namespace aerolith::launcher
