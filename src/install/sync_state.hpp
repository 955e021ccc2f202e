// What the synchronisation pass carries from one file to the next within a
// run; a fresh value at the start of each pass.
#pragma once

namespace aerolith::install {

struct SyncState {
  // Set once the payload's CRC has been verified, before the first file of the
  // run is overwritten; never cleared in that run.
  bool payloadValidated = false;
};

}  // namespace aerolith::install
