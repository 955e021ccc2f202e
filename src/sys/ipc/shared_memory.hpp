// Small named blocks of memory shared between the processes of the user's logon
// session: how the running application tells the launcher where its window is.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

namespace aerolith::sys {

// Copies the first `into.size()` bytes of the named block. False when there is
// no such block or it cannot be read that far.
[[nodiscard]] bool readSharedMemory(std::wstring_view name, std::span<std::byte> into);

// A named block holding given bytes for as long as this object lives; the
// publishing side of readSharedMemory.
class SharedMemory {
 public:
  SharedMemory(std::wstring_view name, std::span<const std::byte> bytes);
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // False when the block could not be created; readers then find nothing.
  bool published() const { return state_ != nullptr; }

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace aerolith::sys
