#include "sys/file/file_time.hpp"

#include <gtest/gtest.h>

#include "support/results.hpp"
#include "support/temp_dir.hpp"
#include "sys/fs/folder.hpp"

namespace aerolith::sys {
namespace {

constexpr std::uint64_t kUnixEpoch = 116'444'736'000'000'000;  // 1970-01-01 as FILETIME

TEST(FileTime, ConvertsExactlyAtFullPrecision) {
  EXPECT_EQ(fileTimeFromUnix({0, 0}), kUnixEpoch);
  EXPECT_EQ(fileTimeFromUnix({-11'644'473'600, 0}), 0u);
  EXPECT_EQ(fileTimeFromUnix({1'700'000'000, 123'456'700}),
            kUnixEpoch + 17'000'000'000'000'000 + 1'234'567);
  EXPECT_EQ(fileTimeFromUnix({-1, 999'999'900}), kUnixEpoch - 1);
  EXPECT_EQ(unixFromFileTime(kUnixEpoch - 1), (UnixTime{-1, 999'999'900}));
  EXPECT_EQ(unixFromFileTime(0), (UnixTime{-11'644'473'600, 0}));
  const std::uint64_t sample = 0x01DB5309A3E23267;
  EXPECT_EQ(fileTimeFromUnix(unixFromFileTime(sample)), sample);
  EXPECT_EQ(fileTimeFromUnix(unixFromFileTime(UINT64_MAX)), UINT64_MAX);
}

TEST(FileTime, DropsDigitsBelow100NanosecondsAndRefusesWhatItCannotHold) {
  EXPECT_EQ(fileTimeFromUnix({0, 199}), kUnixEpoch + 1);
  EXPECT_EQ(fileTimeFromUnix({-11'644'473'601, 999'999'999}), std::nullopt);
  EXPECT_EQ(fileTimeFromUnix({0, 1'000'000'000}), std::nullopt);
  EXPECT_EQ(fileTimeFromUnix({INT64_MAX, 0}), std::nullopt);
}

TEST(FileTime, StampsAndReadsBackAFile) {
  testing::TempDir dir;
  const auto file = dir / "f\u00e9.bin";
  testing::writeFile(file, "12345");
  const std::uint64_t time = 0x01DB5309A3E23267;
  const Folder folder = testing::valueOf(Folder::open(dir.path()));
  LastWriteTimeWriter writer = testing::valueOf(folder.openForTimeStamp(file.filename()));
  EXPECT_TRUE(writer.set(time));
  writer.close();
  const FileStamp stamp = testing::valueOf(readFileStamp(file));
  EXPECT_EQ(stamp.lastWriteTime, time);
  EXPECT_EQ(stamp.size, 5u);
}

TEST(FileTime, ReportsTheSystemErrorForAMissingFile) {
  testing::TempDir dir;
  EXPECT_FALSE(readFileStamp(dir / "missing"));
  const Folder folder = testing::valueOf(Folder::open(dir.path()));
  EXPECT_FALSE(folder.openForTimeStamp("missing"));
}

}  // namespace
}  // namespace aerolith::sys
