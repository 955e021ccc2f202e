// Aerolith.exe, the demo application: a stand-in for the real application that
// shows what the launcher does to it. It records how it was started and every
// hand-off it receives, one JSON object a line, in the file named by
// AEROLITH_DEMO_RECORD (default: Aerolith.Demo.jsonl in the temp folder, never
// the install directory, which the launcher keeps clean). While it runs it holds
// the application mutex and publishes its window-handle record; it runs until
// it is closed or AEROLITH_DEMO_LIFETIME seconds (default 60) have passed. With a
// lifetime of 0 it only records its start and end: it never holds the mutex or
// publishes a record, so that no launcher started after it can meet it.
//
// This file holds what both platforms do; main_win.cpp and main_posix.cpp bring
// the window (a process id and a signal on POSIX) and the wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sys/ipc/named_mutex.hpp"
#include "sys/ipc/shared_memory.hpp"

namespace aerolith::demo {

struct Settings {
  std::filesystem::path record;
  std::chrono::milliseconds lifetime;

  bool passesAtOnce() const { return lifetime.count() == 0; }
};

Settings settingsFromEnvironment();

// One line of the record: {"event":"name","key":value,...}.
class Event {
 public:
  explicit Event(std::string_view name);
  Event& add(std::string_view key, std::wstring_view text);
  Event& add(std::string_view key, std::int64_t number);
  Event& add(std::string_view key, const std::vector<std::wstring>& texts);
  std::string line() const { return json_ + "}\n"; }

 private:
  Event& key(std::string_view name);
  std::string json_;
};

// Appends whole lines, each in one write, so that a reader never sees half of
// one and several instances may share a file.
class Recorder {
 public:
  explicit Recorder(std::filesystem::path file) : file_(std::move(file)) {}
  void record(const Event& event) const;

 private:
  std::filesystem::path file_;
};

// "started": the arguments, the working directory and the process id.
Event startedEvent(const std::vector<std::wstring>& arguments);

// The application's presence in the session: its mutex and its window-handle
// record, held for as long as this object lives.
class Presence {
 public:
  ~Presence();

  // Null, with "already-running" recorded, when another instance holds the
  // mutex; otherwise "published" is recorded with the window and the message.
  static std::unique_ptr<Presence> announce(const Recorder& recorder, std::int32_t window,
                                            std::uint32_t message);

 private:
  Presence(sys::MutexHandle mutex, std::int32_t window, std::uint32_t message);
  sys::MutexHandle mutex_;
  sys::SharedMemory record_;
};

}  // namespace aerolith::demo
