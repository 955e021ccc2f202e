// The optional trace log: one line per record, written by every phase through
// AEROLITH_TRACE. Without an installed logger a call costs one pointer test and
// evaluates none of its arguments.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <fmt/xchar.h>

namespace aerolith::diag {

enum class LogLevel : std::int32_t { kOff, kFatal, kError, kWarn, kInfo, kDebug, kTrace };

// Exactly seven characters: "|TRACE|", "| INFO|", ...
std::wstring_view levelName(LogLevel level);

// "2024-01-31 23:59:59.1234567": UTC, seven fractional digits (100-ns ticks).
std::wstring formatRecordTime(std::chrono::system_clock::time_point time);

// One complete record, CR LF included.
std::wstring formatRecord(std::wstring_view time, LogLevel level, std::int32_t thread,
                          std::wstring_view tag, std::int32_t line, std::wstring_view message);

// A record traced while held (HoldTrace), to be written later.
struct HeldRecord {
  std::chrono::system_clock::time_point time;
  LogLevel level;
  std::wstring_view tag;  // a literal, as every tag is
  std::int32_t line;
  std::wstring message;
};
using HeldRecords = std::vector<HeldRecord>;

// While it lives, what the constructing thread traces goes into `records`
// instead of the log, so that work done on a helper thread can have its
// records written where doing it on the spot would have (writeHeld).
class HoldTrace {
 public:
  explicit HoldTrace(HeldRecords& records);
  ~HoldTrace();
  HoldTrace(const HoldTrace&) = delete;
  HoldTrace& operator=(const HoldTrace&) = delete;

 private:
  HeldRecords* previous_;
};

class TraceLogger {
 public:
  // Appends to `file`, written as UTF-8 so that every character survives.
  TraceLogger(const std::filesystem::path& file, LogLevel level, std::int32_t firstThreadNumber);
  TraceLogger(const TraceLogger&) = delete;
  TraceLogger& operator=(const TraceLogger&) = delete;

  // `tag` is a string literal: records held (HoldTrace) keep only a view of it.
  template <typename... Args>
  void log(LogLevel level, std::wstring_view tag, std::int32_t line,
           fmt::wformat_string<Args...> format, Args&&... args) {
    if (!accepts(level)) return;
    write(level, tag, line, fmt::format(format, std::forward<Args>(args)...));
  }

  // Writes `records` in order as records of the calling thread, each with
  // the time it was traced at.
  void writeHeld(const HeldRecords& records);

  // Closes the file; later calls write nothing. Waits for a record in progress.
  void close();

 private:
  bool accepts(LogLevel level) const {
    return static_cast<std::int32_t>(level_) >= static_cast<std::int32_t>(level) &&
           open_.load(std::memory_order_acquire);
  }
  void write(LogLevel level, std::wstring_view tag, std::int32_t line, std::wstring_view message);
  // With the mutex held.
  void append(std::chrono::system_clock::time_point time, LogLevel level, std::wstring_view tag,
              std::int32_t line, std::wstring_view message);

  std::mutex mutex_;
  std::ofstream stream_;
  std::atomic<bool> open_{false};
  const LogLevel level_;
  std::unordered_map<std::uint32_t, std::int32_t> threadNumbers_;
  std::int32_t nextThreadNumber_;
};

// The process-wide logger; null when none is installed.
TraceLogger* installedLogger();

// Writes held records through the installed logger, if any (TraceLogger::writeHeld).
void writeHeld(const HeldRecords& records);

// Installs `logger` for the rest of the process. It is closed by a handler that
// runs at process exit.
void installLogger(std::unique_ptr<TraceLogger> logger);

// Installs a logger at level Trace on the file named by the environment variable
// AEROLITH_LAUNCHER_TRACE, when it is set. Thread numbers start at 1.
void installLoggerFromEnvironment();

}  // namespace aerolith::diag

// Logs at level Trace with the call site's line. The arguments are evaluated only
// when a logger is installed.
#define AEROLITH_TRACE(tag, ...)                                                             \
  do {                                                                                       \
    if (::aerolith::diag::TraceLogger* aerolithLogger = ::aerolith::diag::installedLogger()) \
      aerolithLogger->log(::aerolith::diag::LogLevel::kTrace, tag, __LINE__, __VA_ARGS__);   \
  } while (false)
