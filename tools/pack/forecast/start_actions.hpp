// What a start of a launcher does to the objects of its install folder, as
// 'plan' predicts it for a folder and 'diff' for an up-to-date install of an
// older release; and what those steps cost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bundle/file_entry.hpp"
#include "pack/cli/json_writer.hpp"

namespace aerolith::pack {

enum class StartAction {
  kKeep,       // a listed file of the entry's time and size: never read
  kRestamp,    // a listed file of the entry's content: only its time is set
  kRewrite,    // a listed file found different (or a link): written from the bundle
  kWrite,      // an entry not met as a file: written from the bundle
  kRemove,     // an unlisted file or link: removed (a link as a link)
  kProtected,  // a user's configuration file: left alone
  kFolder,     // a real folder: left alone
};

// "keep", "restamp", "rewrite", "write", "remove", "protected", "folder".
std::wstring_view actionName(StartAction action);

// The sum of a start's steps.
struct StartCost {
  std::size_t kept = 0;
  std::size_t restamped = 0;
  std::size_t rewritten = 0;
  std::size_t written = 0;
  std::size_t removed = 0;
  std::size_t protectedFiles = 0;
  std::size_t folders = 0;
  std::uint64_t decodedBytes = 0;     // content of the files written and rewritten
  std::uint64_t compressedBytes = 0;  // their frames, read from the payload
  // A rewrite checks the whole payload's CRC-32C first, once per start.
  bool payloadChecked = false;
  std::uint64_t payloadBytes = 0;  // of the bundle's payload

  explicit StartCost(std::uint64_t bundlePayloadBytes) : payloadBytes(bundlePayloadBytes) {}

  // Counts one step; `entry` is the bundle's entry for a step that writes.
  void add(StartAction action, const bundle::FileEntry* entry);

  // One sentence: "writes 2 files (...), removes 1, ...".
  std::wstring summary() const;

  // The members of a JSON object named "start".
  void writeJson(JsonWriter& out) const;
};

}  // namespace aerolith::pack
