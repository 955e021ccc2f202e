#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sys/image/appended_resources.hpp"
#include "sys/image/resources.hpp"

namespace aerolith::sys {
namespace {

struct MappedImage {
  std::span<const std::uint8_t> bytes;
  AppendedTable table;
};

// The running executable, mapped read-only and never unmapped: resources point
// into it for the rest of the process. Mapping reads nothing; only the pages of
// the table, and later those a caller touches, are ever read.
MappedImage mapOwnImage() {
  const int file = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (file < 0) return {};
  struct stat status {};
  void* address = MAP_FAILED;
  if (::fstat(file, &status) == 0 && status.st_size > 0) {
    address =
        ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, file, 0);
  }
  ::close(file);
  if (address == MAP_FAILED) return {};
  const std::span bytes(static_cast<const std::uint8_t*>(address),
                        static_cast<std::size_t>(status.st_size));
  return {bytes, readAppendedTable(bytes)};
}

const MappedImage& ownImage() {
  static const MappedImage image = mapOwnImage();
  return image;
}

}  // namespace

// An image that cannot be read holds, as far as the launcher can tell, no
// resources: that is reported as not found.
ResourceLookup findResource(ModuleHandle /*module*/, std::uint32_t type, std::uint32_t id) {
  const MappedImage& image = ownImage();
  const AppendedResource* resource = findAppendedResource(image.table, type, id);
  if (resource == nullptr) return base::fail(ResourceFailure::kNotFound);
  if (resource->size == 0) return base::fail(ResourceFailure::kEmpty);
  return image.bytes.subspan(resource->offset, resource->size);
}

}  // namespace aerolith::sys
