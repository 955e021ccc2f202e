#include "install/listing_ahead.hpp"

#include <system_error>
#include <utility>

namespace aerolith::install {

ListingAhead::ListingAhead(const sys::Folder& installFolder) : installFolder_(installFolder) {
  try {
    walker_ = std::thread([this] {
      {
        const std::lock_guard lock(mutex_);
        if (taken_) return;
        begun_ = true;
      }
      walk_ = sys::walkTree(installFolder_);
    });
  } catch (const std::system_error&) {
    // No thread: take() walks.
  }
}

ListingAhead::~ListingAhead() {
  if (walker_.joinable()) walker_.join();
}

sys::Walk ListingAhead::take() {
  {
    const std::lock_guard lock(mutex_);
    taken_ = !begun_;
  }
  if (taken_) return sys::walkTree(installFolder_);
  walker_.join();
  return std::move(walk_);
}

}  // namespace aerolith::install
