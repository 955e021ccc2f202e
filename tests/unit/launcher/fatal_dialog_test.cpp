#include "launcher/fatal_dialog.hpp"

#include <gtest/gtest.h>

#include "support/fatal_exit.hpp"

namespace aerolith::launcher {
namespace {

using bundle::ErrorTriple;
using bundle::Stage;
using testing::exitedThroughFatalDialog;
using testing::fatalDialogShowing;

TEST(FatalCorrupt, ShowsTheTripleAsTheDialogPrintsItAndExitsWithMinus100) {
  EXPECT_EXIT(showCorruptAndExit(ErrorTriple::crcMismatch(Stage::kPayloadCrc, 0xFFFFFFFF, 7)),
              exitedThroughFatalDialog(),
              fatalDialogShowing("\\[Aerolith Vantor\\] warning\nCould not launch Aerolith "
                                 "Vantor:\r\n - Embedded resources corrupt\\.\r\nError code: "
                                 "4\\.4294967295\\.7\r\n"));
  EXPECT_EXIT(showCorruptAndExit({Stage::kEntryParse, 3, 15}), exitedThroughFatalDialog(),
              fatalDialogShowing("Error code: 5\\.3\\.15\r\n"));
}

}  // namespace
}  // namespace aerolith::launcher
