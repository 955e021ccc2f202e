#include "bundle/error_triple.hpp"

#include <gtest/gtest.h>

#include "support/fatal_exit.hpp"

namespace aerolith::bundle {
namespace {

using testing::exitedThroughFatalDialog;
using testing::fatalDialogShowing;

TEST(ErrorTriple, CrcStagesPrintUnsignedAndTheOthersSigned) {
  EXPECT_EQ(ErrorTriple::crcMismatch(Stage::kManifestCrc, 4294967295u, 2147483648u).text(),
            L"2.4294967295.2147483648");
  EXPECT_EQ(ErrorTriple::crcMismatch(Stage::kPayloadCrc, 0, 1).text(), L"4.0.1");
  EXPECT_EQ((ErrorTriple{Stage::kResources, 14, 0}).text(), L"1.14.0");
  EXPECT_EQ((ErrorTriple{Stage::kEntryCount, -1, 0}).text(), L"3.-1.0");
  EXPECT_EQ((ErrorTriple{Stage::kAddEntry, 54, 13}).text(), L"7.54.13");
}

TEST(ErrorTriple, FatalCorruptShowsTheTripleAndExitsWithMinus100) {
  EXPECT_EXIT(fatalCorrupt(ErrorTriple::crcMismatch(Stage::kPayloadCrc, 0xFFFFFFFF, 7)),
              exitedThroughFatalDialog(),
              fatalDialogShowing("\\[Aerolith Vantor\\] warning\nCould not launch Aerolith "
                                 "Vantor:\r\n - Embedded resources corrupt\\.\r\nError code: "
                                 "4\\.4294967295\\.7\r\n"));
  EXPECT_EXIT(fatalCorrupt({Stage::kEntryParse, 3, 15}), exitedThroughFatalDialog(),
              fatalDialogShowing("Error code: 5\\.3\\.15\r\n"));
}

}  // namespace
}  // namespace aerolith::bundle
