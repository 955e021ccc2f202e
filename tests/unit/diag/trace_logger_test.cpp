#include "diag/trace_logger.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "support/temp_dir.hpp"
#include "text/utf.hpp"

namespace aerolith::diag {
namespace {

using ::testing::ElementsAre;
using testing::TempDir;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      result.push_back(text.substr(start) + "<unterminated>");
      break;
    }
    result.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return result;
}

// "[time] |TRACE| (tt)                  tag <llll>: message"
const std::regex kRecord(
    R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{7}\] \|[ A-Z]{5}\| \(\d\d+\) +\S+ <\d{4,}>: .*)");

std::chrono::system_clock::time_point fromTicks(std::int64_t ticksSinceEpoch) {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(Ticks(ticksSinceEpoch)));
}

TEST(TraceRecord, TimeHasSevenFractionalDigitsInUtc) {
  // 2024-01-31 23:59:59 UTC is 1706745599 s after the Unix epoch.
  EXPECT_EQ(formatRecordTime(fromTicks(17067455991234567)), L"2024-01-31 23:59:59.1234567");
  // 2001-02-03 04:05:06 UTC: every field zero-padded, a lone tick at the end.
  EXPECT_EQ(formatRecordTime(fromTicks(9811731060000007)), L"2001-02-03 04:05:06.0000007");
  EXPECT_EQ(formatRecordTime(fromTicks(0)), L"1970-01-01 00:00:00.0000000");
}

TEST(TraceRecord, FieldsArePaddedButNeverCut) {
  EXPECT_EQ(formatRecord(L"T", LogLevel::kTrace, 7, L"Main", 42, L"final"),
            L"[T] |TRACE| (07)                 Main <0042>: final\r\n");
  EXPECT_EQ(formatRecord(L"T", LogLevel::kWarn, 123, L"FileEntry", 12345, L"x"),
            L"[T] | WARN| (123)            FileEntry <12345>: x\r\n");
  EXPECT_EQ(formatRecord(L"T", LogLevel::kTrace, 1, L"ABCDEFGHIJKLMNOPQRSTUVWXY", 1, L"m"),
            L"[T] |TRACE| (01) ABCDEFGHIJKLMNOPQRSTUVWXY <0001>: m\r\n");
  EXPECT_EQ(formatRecord(L"T", LogLevel::kTrace, 1, L"Main", 1, L""),
            L"[T] |TRACE| (01)                 Main <0001>: \r\n");
}

TEST(TraceRecord, LevelNamesAreSevenCharacters) {
  const std::vector<std::wstring_view> names = {
      levelName(LogLevel::kOff),  levelName(LogLevel::kFatal), levelName(LogLevel::kError),
      levelName(LogLevel::kWarn), levelName(LogLevel::kInfo),  levelName(LogLevel::kDebug),
      levelName(LogLevel::kTrace)};
  EXPECT_THAT(names, ElementsAre(L"|  OFF|", L"|FATAL|", L"|ERROR|", L"| WARN|", L"| INFO|",
                                 L"|DEBUG|", L"|TRACE|"));
}

TEST(TraceLogger, AppendsOneRecordPerCallAsUtf8) {
  TempDir dir;
  const auto file = dir / "trace.log";
  testing::writeFile(file, "earlier\r\n");
  {
    TraceLogger logger(file, LogLevel::kTrace, 1);
    logger.log(LogLevel::kTrace, L"Main", 10, L"path: '{}', ok = {}, ec = {}",
               std::wstring(L"C:\\Users\\J\u00e9r\u00f4me\\\U0001F600"), true, -5);
    logger.log(LogLevel::kTrace, L"Main", 11, L"literal {{braces}} and {}", 4294967295u);
  }
  const auto written = lines(testing::readFile(file));
  ASSERT_EQ(written.size(), 3u);
  EXPECT_EQ(written[0], "earlier");
  EXPECT_TRUE(std::regex_match(written[1], kRecord)) << written[1];
  EXPECT_THAT(written[1],
              ::testing::EndsWith(
                  " (01)                 Main <0010>: path: "
                  "'C:\\Users\\J\xC3\xA9r\xC3\xB4me\\\xF0\x9F\x98\x80', ok = true, ec = -5"));
  EXPECT_THAT(written[2], ::testing::EndsWith("<0011>: literal {braces} and 4294967295"));
}

TEST(TraceLogger, NumbersThreadsInOrderOfTheirFirstRecord) {
  TempDir dir;
  const auto file = dir / "trace.log";
  {
    TraceLogger logger(file, LogLevel::kTrace, 1);
    logger.log(LogLevel::kTrace, L"Main", 1, L"main");
    std::thread([&] { logger.log(LogLevel::kTrace, L"Main", 2, L"second"); }).join();
    std::thread([&] {
      logger.log(LogLevel::kTrace, L"Main", 3, L"third");
      logger.log(LogLevel::kTrace, L"Main", 4, L"third again");
    }).join();
    logger.log(LogLevel::kTrace, L"Main", 5, L"main again");
  }
  const auto written = lines(testing::readFile(file));
  ASSERT_EQ(written.size(), 5u);
  EXPECT_THAT(written[0], ::testing::HasSubstr("(01)"));
  EXPECT_THAT(written[1], ::testing::HasSubstr("(02)"));
  EXPECT_THAT(written[2], ::testing::HasSubstr("(03)"));
  EXPECT_THAT(written[3], ::testing::HasSubstr("(03)"));
  EXPECT_THAT(written[4], ::testing::HasSubstr("(01)"));
}

TEST(TraceLogger, DropsRecordsAboveItsLevelWithoutNumberingTheThread) {
  TempDir dir;
  const auto file = dir / "trace.log";
  {
    TraceLogger logger(file, LogLevel::kDebug, 5);
    logger.log(LogLevel::kTrace, L"Main", 1, L"dropped");
    std::thread([&] { logger.log(LogLevel::kTrace, L"Main", 2, L"dropped too"); }).join();
    std::thread([&] { logger.log(LogLevel::kDebug, L"Main", 3, L"kept"); }).join();
    logger.log(LogLevel::kInfo, L"Main", 4, L"kept too");
  }
  const auto written = lines(testing::readFile(file));
  ASSERT_EQ(written.size(), 2u);
  EXPECT_THAT(written[0], ::testing::HasSubstr("|DEBUG| (05)"));
  EXPECT_THAT(written[1], ::testing::HasSubstr("| INFO| (06)"));
}

TEST(TraceLogger, RecordsOfConcurrentThreadsNeverInterleave) {
  TempDir dir;
  const auto file = dir / "trace.log";
  constexpr int kThreads = 4;
  constexpr int kRecords = 500;
  {
    TraceLogger logger(file, LogLevel::kTrace, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < kRecords; ++i)
          logger.log(LogLevel::kTrace, L"Main", 100 + t, L"record {} of thread {}", i, t);
      });
    }
    for (auto& thread : threads) thread.join();
  }
  const auto written = lines(testing::readFile(file));
  ASSERT_EQ(written.size(), static_cast<std::size_t>(kThreads * kRecords));
  for (const auto& line : written) ASSERT_TRUE(std::regex_match(line, kRecord)) << line;
}

TEST(TraceLogger, CloseWhileAnotherThreadLogsLosesNoHalfRecord) {
  TempDir dir;
  const auto file = dir / "trace.log";
  TraceLogger logger(file, LogLevel::kTrace, 1);
  std::atomic<bool> started{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) {
      logger.log(LogLevel::kTrace, L"Main", 1, L"busy {}", i);
      started = true;
    }
  });
  while (!started) std::this_thread::yield();
  logger.close();
  writer.join();
  logger.log(LogLevel::kTrace, L"Main", 2, L"after close");
  const auto written = lines(testing::readFile(file));
  ASSERT_FALSE(written.empty());
  for (const auto& line : written) ASSERT_TRUE(std::regex_match(line, kRecord)) << line;
  EXPECT_THAT(written.back(), ::testing::Not(::testing::HasSubstr("after close")));
}

int evaluations = 0;
std::wstring countedArgument() {
  ++evaluations;
  return L"argument";
}

TEST(TraceMacro, EvaluatesNothingWithoutALogger) {
  installLogger(nullptr);
  ASSERT_EQ(installedLogger(), nullptr);
  AEROLITH_TRACE(L"Main", L"{}", countedArgument());
  EXPECT_EQ(evaluations, 0);
}

TEST(TraceMacro, WritesTheCallSitesLineToTheInstalledLogger) {
  TempDir dir;
  const auto file = dir / "trace.log";
  installLogger(std::make_unique<TraceLogger>(file, LogLevel::kTrace, 1));
  ASSERT_NE(installedLogger(), nullptr);
  const int line = __LINE__ + 1;
  AEROLITH_TRACE(L"Main", L"{}", countedArgument());
  installLogger(nullptr);
  EXPECT_EQ(evaluations, 1);
  const auto written = lines(testing::readFile(file));
  ASSERT_EQ(written.size(), 1u);
  std::ostringstream expected;
  expected << "Main <" << std::setw(4) << std::setfill('0') << line << ">: argument";
  EXPECT_THAT(written[0], ::testing::EndsWith(expected.str()));
}

}  // namespace
}  // namespace aerolith::diag
