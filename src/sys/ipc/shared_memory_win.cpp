#include <windows.h>

#include <cstring>
#include <string>

#include "sys/ipc/shared_memory.hpp"

namespace aerolith::sys {

bool readSharedMemory(std::wstring_view name, std::span<std::byte> into) {
  const std::wstring nameZ(name);
  HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, nameZ.c_str());
  if (mapping == nullptr) return false;
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, into.size());
  if (view != nullptr) {
    std::memcpy(into.data(), view, into.size());
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return view != nullptr;
}

struct SharedMemory::State {
  HANDLE mapping;
};

SharedMemory::SharedMemory(std::wstring_view name, std::span<const std::byte> bytes) {
  const std::wstring nameZ(name);
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(bytes.size()), nameZ.c_str());
  if (mapping == nullptr) return;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, bytes.size());
  if (view == nullptr) {
    CloseHandle(mapping);
    return;
  }
  std::memcpy(view, bytes.data(), bytes.size());
  UnmapViewOfFile(view);  // the mapping object keeps the bytes
  state_ = std::make_unique<State>(State{mapping});
}

SharedMemory::~SharedMemory() {
  if (state_) CloseHandle(state_->mapping);
}

}  // namespace aerolith::sys
