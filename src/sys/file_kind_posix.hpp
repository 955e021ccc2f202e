// The object kind of a POSIX file type, as the listing and the single-object
// queries report it.
#pragma once

#include <filesystem>

#include "sys/file_objects.hpp"

namespace aerolith::sys {

inline ObjectKind kindOfFileType(std::filesystem::file_type type) {
  switch (type) {
    case std::filesystem::file_type::not_found:
      return ObjectKind::kMissing;
    case std::filesystem::file_type::directory:
      return ObjectKind::kDirectory;
    case std::filesystem::file_type::symlink:
      return ObjectKind::kLink;
    default:
      return ObjectKind::kFile;
  }
}

}  // namespace aerolith::sys
