// The window-handle record the application publishes: its byte layout, when it
// asks for a message, and how the handle is widened.
#include "launcher/instance_guards.hpp"

#include <gtest/gtest.h>

namespace aerolith::launcher {
namespace {

WindowHandleRecord::Bytes bytes(std::initializer_list<int> values) {
  WindowHandleRecord::Bytes result{};
  std::size_t i = 0;
  for (const int value : values) result[i++] = static_cast<std::byte>(value);
  return result;
}

TEST(WindowHandleRecord, IsTwoLittleEndianFields) {
  const auto record = WindowHandleRecord::decode(bytes({0x34, 0x12, 0x09, 0x00, 0x23, 0xC1, 0, 0}));
  EXPECT_EQ(record.window, 0x91234);
  EXPECT_EQ(record.message, 0xC123u);
  EXPECT_EQ(record.encode(), bytes({0x34, 0x12, 0x09, 0x00, 0x23, 0xC1, 0, 0}));
}

TEST(WindowHandleRecord, HandleWithBit31SetIsSignExtended) {
  const auto record = WindowHandleRecord::decode(bytes({0x34, 0x12, 0x00, 0x80, 1, 0, 0, 0x80}));
  EXPECT_EQ(record.message, 0x80000001u);  // the message stays unsigned
  if constexpr (sizeof(std::intptr_t) == 8) {
    EXPECT_EQ(static_cast<std::uint64_t>(record.windowHandle()), 0xFFFFFFFF80001234u);
  }
  EXPECT_LT(record.windowHandle(), 0);
  EXPECT_EQ((WindowHandleRecord{0x1234, 1}).windowHandle(), 0x1234);
}

TEST(WindowHandleRecord, ZeroInEitherFieldMeansNothingToPost) {
  EXPECT_TRUE((WindowHandleRecord{0x1234, 0xC123}).postable());
  EXPECT_TRUE((WindowHandleRecord{-1, 1}).postable());
  EXPECT_FALSE((WindowHandleRecord{0, 0xC123}).postable());
  EXPECT_FALSE((WindowHandleRecord{0x1234, 0}).postable());
  EXPECT_FALSE(WindowHandleRecord::decode({}).postable());
}

}  // namespace
}  // namespace aerolith::launcher
