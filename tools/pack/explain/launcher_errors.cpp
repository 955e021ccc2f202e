#include "pack/explain/launcher_errors.hpp"

#include <algorithm>
#include <array>

namespace aerolith::pack {
namespace {

using bundle::Stage;

constexpr std::array kLauncherErrors = {
    LauncherError{Stage::kResources, 1, L"the launcher image holds no manifest resource",
                  Cause::kNoBundle},
    LauncherError{Stage::kResources, 2, L"the manifest resource could not be loaded",
                  Cause::kDamagedFile},
    LauncherError{Stage::kResources, 3, L"the manifest resource could not be locked",
                  Cause::kDamagedFile},
    LauncherError{Stage::kResources, 4, L"the manifest is empty or 2 GiB or larger",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kResources, 11, L"the launcher image holds no payload resource",
                  Cause::kNoBundle},
    LauncherError{Stage::kResources, 12, L"the payload resource could not be loaded",
                  Cause::kDamagedFile},
    LauncherError{Stage::kResources, 13, L"the payload resource could not be locked",
                  Cause::kDamagedFile},
    LauncherError{Stage::kResources, 14, L"the payload is empty or 2 GiB or larger",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kManifestCrc, 0,
                  L"the manifest's bytes do not match its CRC-32C (computed, then stored)",
                  Cause::kDamagedFile},
    LauncherError{Stage::kEntryCount, 0, L"the manifest's entry count is below 1",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kPayloadCrc, 0,
                  L"the payload's bytes do not match its CRC-32C (computed, then stored); a "
                  L"launcher checks it before it replaces an installed file",
                  Cause::kDamagedFile},
    LauncherError{Stage::kEntryParse, 1,
                  L"its directory length runs past the manifest's end or is 2^31 or more",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 2, L"its directory text runs past the manifest's end",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 3,
                  L"its name length runs past the manifest's end or is 2^31 or more",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 4, L"its name text runs past the manifest's end",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 5,
                  L"its size runs past the manifest's end or is 2^31 or more",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 6, L"its content CRC runs past the manifest's end",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 7,
                  L"its compressed size runs past the manifest's end or is 2^31 or more",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 8, L"its compressed CRC runs past the manifest's end",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 9,
                  L"its offset runs past the manifest's end or is 2^31 or more",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 10, L"its name is empty", Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 11, L"its compressed bytes run past the payload's end",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 15, L"its path would leave the install folder",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kEntryParse, 20, L"its file time runs past the manifest's end",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kReplaceEntry, 12,
                  L"replacing an installed file, its compressed bytes do not match their CRC-32C",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kReplaceEntry, 13,
                  L"replacing an installed file, its frame is damaged or does not hold exactly "
                  L"its size in bytes",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kReplaceEntry, 14,
                  L"replacing an installed file, its content does not match its CRC-32C",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kAddEntry, 12,
                  L"adding the file, its compressed bytes do not match their CRC-32C",
                  Cause::kDamagedFile},
    LauncherError{Stage::kAddEntry, 13,
                  L"adding the file, its frame is damaged or does not hold exactly its size in "
                  L"bytes",
                  Cause::kFaultyRelease},
    LauncherError{Stage::kAddEntry, 14, L"adding the file, its content does not match its CRC-32C",
                  Cause::kFaultyRelease},
};

std::int32_t codeOf(const bundle::ErrorTriple& triple) {
  switch (triple.stage) {
    case Stage::kResources:
      return static_cast<std::int32_t>(triple.first);
    case Stage::kEntryParse:
    case Stage::kReplaceEntry:
    case Stage::kAddEntry:
      return static_cast<std::int32_t>(triple.second);
    case Stage::kManifestCrc:
    case Stage::kEntryCount:
    case Stage::kPayloadCrc:
      break;
  }
  return 0;
}

// Whether the details are ones the stage's dialog can show besides its code.
bool detailsFit(const bundle::ErrorTriple& triple) {
  switch (triple.stage) {
    case Stage::kResources:
      return triple.second == 0;
    case Stage::kManifestCrc:
    case Stage::kPayloadCrc:
      return true;  // equal values too: a resource shorter than its header
    case Stage::kEntryCount:
      return triple.first < 1 && triple.second == 0;
    case Stage::kEntryParse:
    case Stage::kReplaceEntry:
    case Stage::kAddEntry:
      return triple.first >= 0;  // an entry's index
  }
  return false;
}

}  // namespace

std::span<const LauncherError> launcherErrors() { return kLauncherErrors; }

const LauncherError* findLauncherError(const bundle::ErrorTriple& triple) {
  const std::int32_t code = codeOf(triple);
  const auto found = std::find_if(
      kLauncherErrors.begin(), kLauncherErrors.end(),
      [&](const LauncherError& row) { return row.stage == triple.stage && row.code == code; });
  if (found == kLauncherErrors.end() || !detailsFit(triple)) return nullptr;
  return &*found;
}

std::wstring_view meaningOf(const bundle::ErrorTriple& triple) {
  const LauncherError* row = findLauncherError(triple);
  return row == nullptr ? L"no launcher shows this code" : row->meaning;
}

}  // namespace aerolith::pack
