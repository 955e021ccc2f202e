// What an object of the file system is, seen as itself: a link is a link,
// whatever it leads to.
#pragma once

namespace aerolith::sys {

enum class ObjectKind {
  kMissing,
  kFile,       // anything that is neither a folder nor a link
  kDirectory,  // a real folder
  kLink,       // a symbolic link or junction, whatever it leads to
};

}  // namespace aerolith::sys
