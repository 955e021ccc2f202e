// The session's named objects as the instance guards see them: a mutex exists
// while it is held, and a shared block is readable while it is published.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include <fmt/xchar.h>

#include "sys/ipc/named_mutex.hpp"
#include "sys/ipc/shared_memory.hpp"
#include "sys/process/process.hpp"

namespace aerolith::sys {
namespace {

// Names of this process alone, so that test runs at the same time never meet.
std::wstring uniqueName(std::wstring_view what) {
  return fmt::format(L"Local\\aerolith-test-{}-{}", what, currentProcessId());
}

TEST(NamedMutex, ExistsExactlyWhileHeld) {
  const std::wstring name = uniqueName(L"mutex");
  EXPECT_FALSE(namedMutexExists(name));
  const CreatedMutex mutex = createOwnedMutex(name);
  ASSERT_NE(mutex.handle, nullptr);
  EXPECT_TRUE(namedMutexExists(name));
  EXPECT_TRUE(namedMutexExists(name));  // looking does not take it away
  closeMutex(mutex.handle);
  EXPECT_FALSE(namedMutexExists(name));
}

TEST(SharedMemory, ReadersSeeThePublishedBytesWhileTheyArePublished) {
  const std::wstring name = uniqueName(L"block");
  const std::array<std::byte, 8> published{std::byte{1},    std::byte{2},    std::byte{3},
                                           std::byte{4},    std::byte{0xFF}, std::byte{0},
                                           std::byte{0x80}, std::byte{7}};
  std::array<std::byte, 8> read{};
  EXPECT_FALSE(readSharedMemory(name, read));
  {
    const SharedMemory block(name, published);
    ASSERT_TRUE(block.published());
    ASSERT_TRUE(readSharedMemory(name, read));
    EXPECT_EQ(read, published);
    std::array<std::byte, 4> head{};
    ASSERT_TRUE(readSharedMemory(name, head));
    EXPECT_EQ(head[3], std::byte{4});
  }
  EXPECT_FALSE(readSharedMemory(name, read));
}

}  // namespace
}  // namespace aerolith::sys
