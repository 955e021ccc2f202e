// The fatal texts are the product's own words (their spelling included) and the
// way numbers fill them is what support staff read back from users.
#include "launcher/texts/messages.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include <fmt/xchar.h>

namespace aerolith::launcher::messages {
namespace {

template <typename... Args>
std::wstring format(std::wstring_view message, Args&&... args) {
  return fmt::format(fmt::runtime(message), std::forward<Args>(args)...);
}

TEST(FatalMessages, EmbeddedResourcesCorruptWithSignedCodes) {
  EXPECT_EQ(format(kEmbeddedResourcesCorrupt, 5, 7, 3),
            L"Could not launch Aerolith Vantor:\r\n - Embedded resources corrupt.\r\nError code: "
            L"5.7.3\r\n\r\nTry re-download from our official website:\r\n" AEROLITH_WEBSITE_URL);
  EXPECT_EQ(format(kEmbeddedResourcesCorrupt, 3, -2147483647 - 1, 0),
            L"Could not launch Aerolith Vantor:\r\n - Embedded resources corrupt.\r\nError code: "
            L"3.-2147483648.0\r\n\r\nTry re-download from our official "
            L"website:\r\n" AEROLITH_WEBSITE_URL);
}

TEST(FatalMessages, EmbeddedResourcesCorruptPrintsCrcsUnsigned) {
  const std::uint32_t computed = std::numeric_limits<std::uint32_t>::max();
  const std::uint32_t stored = 0x80000000u;
  EXPECT_EQ(format(kEmbeddedResourcesCorrupt, 2, computed, stored),
            L"Could not launch Aerolith Vantor:\r\n - Embedded resources corrupt.\r\nError code: "
            L"2.4294967295.2147483648\r\n\r\nTry re-download from our official "
            L"website:\r\n" AEROLITH_WEBSITE_URL);
}

TEST(FatalMessages, TextsWithoutArguments) {
  EXPECT_EQ(
      format(kWorkingDirectoryInaccessible),
      L"Could not launch Aerolith Vantor:\r\n - Program working directory inaccessible.\r\n\r\n"
      L"Try restart Aerolith Vantor with administrator privileges or check your antivirus "
      L"software settings.");
  EXPECT_EQ(
      format(kTimedOut),
      L"Could not launch Aerolith Vantor:\r\n - Timed out\r\n\r\nTry restart Aerolith Vantor or "
      L"try downlaoding the 'alternative zip package' from " AEROLITH_WEBSITE_DOMAIN);
}

TEST(FatalMessages, WriteFileFailedQuotesThePath) {
  EXPECT_EQ(
      format(kWriteFileFailed, std::wstring(L"C:\\Users\\J\u00e9r\u00f4me\\Aerolith\\a b.dll")),
      L"Could not launch Aerolith Vantor:\r\n - Write file failed.\r\nFile:\r\n"
      L"'C:\\Users\\J\u00e9r\u00f4me\\Aerolith\\a b.dll'\r\n\r\nTry restart Aerolith Vantor with "
      L"administrator privileges or check your antivirus software settings.");
}

TEST(FatalMessages, FailedToStartProcessShowsBothCodesAndTheFolder) {
  EXPECT_EQ(
      format(kFailedToStartProcess, 2u, 4294967295u, std::wstring(L"C:\\Apps\\Aerolith")),
      L"Could not launch Aerolith Vantor:\r\n - Failed to start process, error code "
      L"2.4294967295\r\n\r\nYou can start 'Aerolith.exe' manually in the following folder:\r\n"
      L"C:\\Apps\\Aerolith\r\nOr, try downlaoding the 'alternative zip package' "
      L"from " AEROLITH_WEBSITE_DOMAIN);
}

TEST(FatalMessages, CrashMessageNamesTheDumpAndTheSupportAddress) {
  EXPECT_EQ(kCrashCaption, L"Aerolith Vantor launcher crashed");
  EXPECT_EQ(kCrash,
            L"Aerolith Vantor launcher encountered an uncorrectable error.\r\n\r\nWe generated a "
            L"crash dump file,\r\nnamed \"Aerolith.Launcher.dmp\" in the current folder.\r\n\r\n"
            L"Hope you can send this file to us. thank "
            L"you.\r\n\r\nEmail: " AEROLITH_SUPPORT_EMAIL L"\r\n\r\n");
}

}  // namespace
}  // namespace aerolith::launcher::messages
