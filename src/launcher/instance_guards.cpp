#include "launcher/instance_guards.hpp"

#include "diag/trace_logger.hpp"
#include "launcher/process_state.hpp"
#include "sys/named_mutex.hpp"
#include "sys/shared_memory.hpp"
#include "sys/window_message.hpp"

namespace aerolith::launcher {
namespace {

constexpr auto kTag = L"Main";

std::uint32_t littleEndian32(const std::byte* bytes) {
  return std::to_integer<std::uint32_t>(bytes[0]) | std::to_integer<std::uint32_t>(bytes[1]) << 8 |
         std::to_integer<std::uint32_t>(bytes[2]) << 16 |
         std::to_integer<std::uint32_t>(bytes[3]) << 24;
}

void putLittleEndian32(std::uint32_t value, std::byte* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::byte>(value >> (8 * i));
}

}  // namespace

WindowHandleRecord WindowHandleRecord::decode(const Bytes& bytes) {
  return {static_cast<std::int32_t>(littleEndian32(bytes.data())),
          littleEndian32(bytes.data() + 4)};
}

WindowHandleRecord::Bytes WindowHandleRecord::encode() const {
  Bytes bytes{};
  putLittleEndian32(static_cast<std::uint32_t>(window), bytes.data());
  putLittleEndian32(message, bytes.data() + 4);
  return bytes;
}

bool anotherLauncherRuns() {
  const sys::CreatedMutex created = sys::createOwnedMutex(kLauncherMutexName);
  launcherMutex = created.handle;
  if (!created.alreadyExisted) return false;
  // Not owned, so there is nothing to release.
  AEROLITH_TRACE(kTag, L"launcher already exists");
  return true;
}

bool handedOffToRunningApplication() {
  if (!sys::namedMutexExists(kApplicationMutexName)) return false;
  WindowHandleRecord::Bytes bytes{};
  if (sys::readSharedMemory(kWindowHandleMappingName, bytes)) {
    const WindowHandleRecord record = WindowHandleRecord::decode(bytes);
    if (record.postable()) sys::postWindowMessage(record.windowHandle(), record.message);
  }
  AEROLITH_TRACE(kTag, L"gui already exists");
  return true;
}

}  // namespace aerolith::launcher
