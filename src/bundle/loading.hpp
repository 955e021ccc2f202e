// Bundle loading: two resources become a bundle view and the files map, with
// every check that needs no payload byte; and the payload's own CRC check,
// which extraction runs at most once per run. Every check fails with the error
// triple of what it found; no failure ends the process here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "bundle/bundle_view.hpp"
#include "bundle/error_triple.hpp"
#include "bundle/file_entry.hpp"
#include "diag/progress.hpp"
#include "sys/image/module.hpp"
#include "sys/image/resources.hpp"

namespace aerolith::bundle {

enum class ResourceKind { kManifest, kPayload };

// Stage 1: the step of the lookup that failed (1 to 4 for the manifest, 11 to 14
// for the payload), a size of 2^31 or more counting as an empty resource.
Status checkResource(const sys::ResourceLookup& lookup, ResourceKind kind);

// The view of two resources that passed checkResource.
BundleView viewOf(const sys::ResourceLookup& manifest, const sys::ResourceLookup& payload);

// The view of two resources held in memory (files a tool read), checked as
// the launcher checks its own: stage 1 when one is empty or too large.
base::Result<BundleView, ErrorTriple> viewOfBytes(std::span<const std::uint8_t> manifest,
                                                  std::span<const std::uint8_t> payload);

// Checks the view's manifest (stage 2: CRC, stage 3: entry count) and parses
// its entries into `files` in manifest order, keeping the first entry of a key
// (stage 5 with the entry's index and shown parse code).
Status readManifest(const BundleView& view, FilesMap& files, diag::Progress& progress);

// Every entry of the manifest in manifest order, duplicates included, for the
// tools that show or check each one; the same checks as readManifest.
struct EntryList {
  std::vector<FileEntry> entries;
  std::int32_t end = 0;  // the manifest position after the last entry
};
Status readEntryList(const BundleView& view, EntryList& list, diag::Progress& progress);

// Stage 4: the CRC of the view's payload.
Status checkPayload(const BundleView& view, diag::Progress& progress);

// What a launcher carries: where its resources lie, and its entries by path.
struct Bundle {
  BundleView view;
  FilesMap files;
};

// Looks up the manifest, then the payload of `module`, and fills `bundle` with
// the view and the complete files map. Reads no payload byte. Returns the
// triple of the first check that failed; `bundle` is then incomplete.
Status loadBundle(sys::ModuleHandle module, Bundle& bundle, diag::Progress& progress);

}  // namespace aerolith::bundle
