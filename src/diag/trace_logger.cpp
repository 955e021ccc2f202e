#include "diag/trace_logger.hpp"

#include <cstdlib>

#include "sys/fs/path.hpp"
#include "sys/process/process.hpp"
#include "text/utf.hpp"

namespace aerolith::diag {
namespace {

std::atomic<TraceLogger*> installed{nullptr};

// Where this thread's records go while a HoldTrace lives; none: the log.
thread_local HeldRecords* held = nullptr;

// A logger taken out of service is closed but never freed: another thread (a
// fatal dialog raised on the watchdog thread ends the process while the main
// thread logs) may still hold its address. Retired loggers stay reachable here.
struct Retired {
  std::unique_ptr<TraceLogger> logger;
  Retired* next;
};
Retired* retired = nullptr;

void retire(TraceLogger* logger) {
  if (logger == nullptr) return;
  logger->close();
  retired = new Retired{std::unique_ptr<TraceLogger>(logger), retired};
}

void retireInstalledLogger() { retire(installed.exchange(nullptr)); }

const bool exitHandlerRegistered = (std::atexit(retireInstalledLogger), true);

}  // namespace

std::wstring_view levelName(LogLevel level) {
  switch (level) {
    case LogLevel::kOff:
      return L"|  OFF|";
    case LogLevel::kFatal:
      return L"|FATAL|";
    case LogLevel::kError:
      return L"|ERROR|";
    case LogLevel::kWarn:
      return L"| WARN|";
    case LogLevel::kInfo:
      return L"| INFO|";
    case LogLevel::kDebug:
      return L"|DEBUG|";
    case LogLevel::kTrace:
      return L"|TRACE|";
  }
  return L"|?????|";
}

std::wstring formatRecordTime(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  using Ticks = duration<std::int64_t, std::ratio<1, 10'000'000>>;
  const auto ticks = floor<Ticks>(time.time_since_epoch());
  const auto day = floor<days>(ticks);
  const year_month_day date{sys_days{day}};
  const hh_mm_ss<Ticks> clock{ticks - day};
  return fmt::format(L"{:04d}-{:02d}-{:02d} {:02d}:{:02d}:{:02d}.{:07d}",
                     static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                     static_cast<unsigned>(date.day()), clock.hours().count(),
                     clock.minutes().count(), clock.seconds().count(), clock.subseconds().count());
}

std::wstring formatRecord(std::wstring_view time, LogLevel level, std::int32_t thread,
                          std::wstring_view tag, std::int32_t line, std::wstring_view message) {
  return fmt::format(L"[{}] {} ({:02d}) {:>20} <{:04d}>: {}\r\n", time, levelName(level), thread,
                     tag, line, message);
}

TraceLogger::TraceLogger(const std::filesystem::path& file, LogLevel level,
                         std::int32_t firstThreadNumber)
    : stream_(file, std::ios::binary | std::ios::app),
      level_(level),
      nextThreadNumber_(firstThreadNumber) {
  open_.store(stream_.is_open(), std::memory_order_release);
}

HoldTrace::HoldTrace(HeldRecords& records) : previous_(held) { held = &records; }

HoldTrace::~HoldTrace() { held = previous_; }

void TraceLogger::write(LogLevel level, std::wstring_view tag, std::int32_t line,
                        std::wstring_view message) {
  const auto now = std::chrono::system_clock::now();
  if (held != nullptr) {
    held->push_back({now, level, tag, line, std::wstring(message)});
    return;
  }
  std::lock_guard lock(mutex_);
  append(now, level, tag, line, message);
}

void TraceLogger::writeHeld(const HeldRecords& records) {
  std::lock_guard lock(mutex_);
  for (const HeldRecord& record : records) {
    append(record.time, record.level, record.tag, record.line, record.message);
  }
}

void TraceLogger::append(std::chrono::system_clock::time_point time, LogLevel level,
                         std::wstring_view tag, std::int32_t line, std::wstring_view message) {
  if (!open_.load(std::memory_order_relaxed)) return;
  const auto [slot, inserted] =
      threadNumbers_.try_emplace(sys::currentThreadId(), nextThreadNumber_);
  if (inserted) ++nextThreadNumber_;
  const std::string record =
      text::toUtf8(formatRecord(formatRecordTime(time), level, slot->second, tag, line, message));
  stream_.write(record.data(), static_cast<std::streamsize>(record.size()));
  stream_.flush();
}

void TraceLogger::close() {
  std::lock_guard lock(mutex_);
  open_.store(false, std::memory_order_release);
  stream_.close();
  threadNumbers_.clear();
}

TraceLogger* installedLogger() { return installed.load(std::memory_order_acquire); }

void writeHeld(const HeldRecords& records) {
  if (TraceLogger* logger = installedLogger()) logger->writeHeld(records);
}

void installLogger(std::unique_ptr<TraceLogger> logger) {
  (void)exitHandlerRegistered;
  retire(installed.exchange(logger.release()));
}

void installLoggerFromEnvironment() {
  const auto file = sys::environmentVariable(L"AEROLITH_LAUNCHER_TRACE");
  if (!file || file->empty()) return;
  installLogger(std::make_unique<TraceLogger>(sys::pathFromWide(*file), LogLevel::kTrace, 1));
}

}  // namespace aerolith::diag
