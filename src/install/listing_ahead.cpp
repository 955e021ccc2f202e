#include "install/listing_ahead.hpp"

#include <system_error>
#include <utility>

namespace aerolith::install {

ListingAhead::ListingAhead(const sys::Folder& installFolder) : installFolder_(installFolder) {
  try {
    walker_ = std::thread([this] { walk_ = sys::walkTree(installFolder_); });
  } catch (const std::system_error&) {
    walk_ = sys::walkTree(installFolder_);
  }
}

ListingAhead::~ListingAhead() {
  if (walker_.joinable()) walker_.join();
}

sys::Walk ListingAhead::take() {
  if (walker_.joinable()) walker_.join();
  return std::move(walk_);
}

}  // namespace aerolith::install
