// Bundle loading: the launcher's two resources become the bundle view and the
// files map, with every check that needs no payload byte; and the payload's own
// CRC check, which extraction runs at most once per run.
//
// Each check is a function that returns the error triple of what it found, so
// that tests and the fuzzer can run them; loadBundle and verifyPayload turn a
// failure into the fatal dialog.
#pragma once

#include <optional>

#include "bundle/bundle_view.hpp"
#include "bundle/error_triple.hpp"
#include "bundle/file_entry.hpp"
#include "sys/module.hpp"
#include "sys/resources.hpp"

namespace aerolith::bundle {

enum class ResourceKind { kManifest, kPayload };

// Stage 1: the step of the lookup that failed (1 to 4 for the manifest, 11 to 14
// for the payload), a size of 2^31 or more counting as an empty resource.
std::optional<ErrorTriple> checkResource(const sys::ResourceLookup& lookup, ResourceKind kind);

// The view of two resources that passed checkResource.
BundleView viewOf(const sys::ResourceLookup& manifest, const sys::ResourceLookup& payload);

// Checks the bundle view's manifest (stage 2: CRC, stage 3: entry count) and
// parses its entries into `files` in manifest order, keeping the first entry of
// a key (stage 5 with the entry's index and shown parse code).
std::optional<ErrorTriple> readManifest(FilesMap& files);

// Stage 4: the CRC of the bundle view's payload.
std::optional<ErrorTriple> checkPayload();

// Looks up the manifest, then the payload of `module`, sets the bundle view and
// returns the complete files map. Reads no payload byte. Does not return on a
// failure: the fatal dialog ends the process.
FilesMap loadBundle(sys::ModuleHandle module);

// Returns when the payload's CRC matches; ends the process otherwise.
void verifyPayload();

}  // namespace aerolith::bundle
