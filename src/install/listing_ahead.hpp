// The install folder's listing, made on a thread of its own while the run
// loads the bundle: listing changes nothing, and on a start that finds most
// files intact the two together take little more than the longer of them.
#pragma once

#include <thread>

#include "sys/directory_walk.hpp"
#include "sys/folder.hpp"

namespace aerolith::install {

class ListingAhead {
 public:
  // Starts walking `installFolder`, which must outlive this object; where no
  // thread can be started, take() walks it.
  explicit ListingAhead(const sys::Folder& installFolder);
  ~ListingAhead();  // waits for the walk
  ListingAhead(const ListingAhead&) = delete;
  ListingAhead& operator=(const ListingAhead&) = delete;

  // The walk, once it is complete (sys::walkTree). Only once.
  sys::Walk take();

 private:
  const sys::Folder& installFolder_;
  sys::Walk walk_;
  std::thread walker_;
};

}  // namespace aerolith::install
