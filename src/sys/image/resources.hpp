// Raw-data resources of the launcher's own image, used in place: the bytes stay
// where the system put them, read-only, for the life of the process.
#pragma once

#include <cstdint>
#include <span>

#include "sys/image/module.hpp"

namespace aerolith::sys {

// The step of a lookup that failed, in the order the steps run.
enum class ResourceFailure {
  kNone,
  kNotFound,   // FindResourceW: the image holds no resource of that type and id
  kNotLoaded,  // LoadResource
  kNotLocked,  // LockResource
  kEmpty,      // SizeofResource returned 0
};

struct ResourceLookup {
  ResourceFailure failure = ResourceFailure::kNone;
  std::span<const std::uint8_t> bytes;  // set only when nothing failed
};

// Finds the resource by type and id alone, whatever its language. On POSIX the
// image is the running executable with its appended table; its bytes are mapped
// once, so loading and locking a resource that was found cannot fail there.
[[nodiscard]] ResourceLookup findResource(ModuleHandle module, std::uint32_t type,
                                          std::uint32_t id);

}  // namespace aerolith::sys
