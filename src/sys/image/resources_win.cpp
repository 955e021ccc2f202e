#include <windows.h>

#include "sys/image/resources.hpp"

namespace aerolith::sys {

ResourceLookup findResource(ModuleHandle module, std::uint32_t type, std::uint32_t id) {
  const auto image = static_cast<HMODULE>(module);
  const HRSRC info = ::FindResourceW(image, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  if (info == nullptr) return {ResourceFailure::kNotFound, {}};
  const HGLOBAL loaded = ::LoadResource(image, info);
  if (loaded == nullptr) return {ResourceFailure::kNotLoaded, {}};
  const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
  if (data == nullptr) return {ResourceFailure::kNotLocked, {}};
  const DWORD size = ::SizeofResource(image, info);
  if (size == 0) return {ResourceFailure::kEmpty, {}};
  return {ResourceFailure::kNone, {data, size}};
}

}  // namespace aerolith::sys
