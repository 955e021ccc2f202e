#include <windows.h>

#include "sys/image/resources.hpp"

namespace aerolith::sys {

ResourceLookup findResource(ModuleHandle module, std::uint32_t type, std::uint32_t id) {
  const auto image = static_cast<HMODULE>(module);
  const HRSRC info = ::FindResourceW(image, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  if (info == nullptr) return base::fail(ResourceFailure::kNotFound);
  const HGLOBAL loaded = ::LoadResource(image, info);
  if (loaded == nullptr) return base::fail(ResourceFailure::kNotLoaded);
  const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
  if (data == nullptr) return base::fail(ResourceFailure::kNotLocked);
  const DWORD size = ::SizeofResource(image, info);
  if (size == 0) return base::fail(ResourceFailure::kEmpty);
  return std::span<const std::uint8_t>(data, size);
}

}  // namespace aerolith::sys
