// Raw-data resources of the launcher's own image, used in place: the bytes stay
// where the system put them, read-only, for the life of the process.
#pragma once

#include <cstdint>
#include <span>

#include "base/result.hpp"
#include "sys/image/module.hpp"

namespace aerolith::sys {

// The step of a lookup that failed, numbered in the order the steps run.
enum class ResourceFailure {
  kNotFound = 1,   // FindResourceW: the image holds no resource of that type and id
  kNotLoaded = 2,  // LoadResource
  kNotLocked = 3,  // LockResource
  kEmpty = 4,      // SizeofResource returned 0
};

// The resource's bytes, or the step that failed.
using ResourceLookup = base::Result<std::span<const std::uint8_t>, ResourceFailure>;

// Finds the resource by type and id alone, whatever its language. On POSIX the
// image is the running executable with its appended table; its bytes are mapped
// once, so loading and locking a resource that was found cannot fail there.
ResourceLookup findResource(ModuleHandle module, std::uint32_t type, std::uint32_t id);

}  // namespace aerolith::sys
