// The install folder's listing, made on a thread of its own while the run
// loads the bundle: listing changes nothing, and on a start that finds most
// files intact the two together take little more than the longer of them.
#pragma once

#include <mutex>
#include <thread>

#include "sys/fs/directory_walk.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::install {

class ListingAhead {
 public:
  // Starts walking `installFolder`, which must outlive this object.
  explicit ListingAhead(const sys::Folder& installFolder);
  ~ListingAhead();  // waits for the thread
  ListingAhead(const ListingAhead&) = delete;
  ListingAhead& operator=(const ListingAhead&) = delete;

  // The walk (sys::walkTree), once it is complete; walked here when the thread
  // has not begun it by now, so that nothing waits for a thread that was never
  // scheduled. Only once.
  sys::Walk take();

 private:
  const sys::Folder& installFolder_;
  std::mutex mutex_;
  bool begun_ = false;  // by the thread
  bool taken_ = false;  // by take(), before the thread began
  sys::Walk walk_;
  std::thread walker_;
};

}  // namespace aerolith::install
