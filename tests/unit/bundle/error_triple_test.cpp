#include "bundle/error_triple.hpp"

#include <gtest/gtest.h>

namespace aerolith::bundle {
namespace {

TEST(ErrorTriple, CrcStagesPrintUnsignedAndTheOthersSigned) {
  EXPECT_EQ(ErrorTriple::crcMismatch(Stage::kManifestCrc, 4294967295u, 2147483648u).text(),
            L"2.4294967295.2147483648");
  EXPECT_EQ(ErrorTriple::crcMismatch(Stage::kPayloadCrc, 0, 1).text(), L"4.0.1");
  EXPECT_EQ((ErrorTriple{Stage::kResources, 14, 0}).text(), L"1.14.0");
  EXPECT_EQ((ErrorTriple{Stage::kEntryCount, -1, 0}).text(), L"3.-1.0");
  EXPECT_EQ((ErrorTriple{Stage::kAddEntry, 54, 13}).text(), L"7.54.13");
}

}  // namespace
}  // namespace aerolith::bundle
