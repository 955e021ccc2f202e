#include "launcher/instance_guards.hpp"

#include "base/byte_order.hpp"
#include "diag/trace_logger.hpp"
#include "launcher/process_state.hpp"
#include "sys/ipc/named_mutex.hpp"
#include "sys/ipc/shared_memory.hpp"
#include "sys/ipc/window_message.hpp"

namespace aerolith::launcher {
namespace {

constexpr auto kTag = L"Main";

}  // namespace

WindowHandleRecord WindowHandleRecord::decode(const Bytes& bytes) {
  return {static_cast<std::int32_t>(base::loadLe32(bytes.data())),
          base::loadLe32(bytes.data() + 4)};
}

WindowHandleRecord::Bytes WindowHandleRecord::encode() const {
  Bytes bytes{};
  base::storeLe32(bytes.data(), static_cast<std::uint32_t>(window));
  base::storeLe32(bytes.data() + 4, message);
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
