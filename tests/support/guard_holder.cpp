// guard_holder READY STOP [launcher] [application] [record WINDOW MESSAGE]
// Holds the named objects of a session the way a running launcher or
// application would: the launcher mutex, the application mutex, and a
// window-handle record with any values (WINDOW and MESSAGE as 32-bit numbers,
// decimal or 0x-hex). Creates the file READY once it holds them all, and lets
// them go when the file STOP appears (or after two minutes).
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "launcher/instance_guards.hpp"
#include "sys/ipc/named_mutex.hpp"
#include "sys/ipc/shared_memory.hpp"

namespace {

using namespace aerolith;

std::uint32_t number32(const std::string& text) {
  return static_cast<std::uint32_t>(std::stoll(text, nullptr, 0));
}

// The handles held, closed on the way out.
std::vector<sys::MutexHandle> held;

void closeHeld() {
  for (const sys::MutexHandle handle : held) sys::closeMutex(handle);
}

bool holdMutex(std::wstring_view name) {
  const sys::CreatedMutex mutex = sys::createOwnedMutex(name);
  held.push_back(mutex.handle);
  return mutex.handle != nullptr && !mutex.alreadyExisted;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return 2;
  std::atexit(closeHeld);
  std::unique_ptr<sys::SharedMemory> record;
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "launcher") {
      if (!holdMutex(launcher::kLauncherMutexName)) return 3;
    } else if (args[i] == "application") {
      if (!holdMutex(launcher::kApplicationMutexName)) return 3;
    } else if (args[i] == "record" && i + 2 < args.size()) {
      const launcher::WindowHandleRecord values{static_cast<std::int32_t>(number32(args[i + 1])),
                                                number32(args[i + 2])};
      record =
          std::make_unique<sys::SharedMemory>(launcher::kWindowHandleMappingName, values.encode());
      if (!record->published()) return 3;
      i += 2;
    } else {
      return 2;
    }
  }
  std::ofstream(args[0]).put('\n');
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!std::filesystem::exists(args[1]) && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}
