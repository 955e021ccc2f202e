// diff OLD NEW: what a new release changes, and what its first start on an
// up-to-date install of the old one does.
#include <fmt/xchar.h>

#include "pack/bundle/bundle_check.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/json_writer.hpp"
#include "pack/cli/time_text.hpp"
#include "pack/cli/wording.hpp"
#include "pack/commands/commands.hpp"
#include "pack/forecast/release_diff.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::pack {
namespace {

std::wstring staleWarning(const EntryDiff& step) {
  return fmt::format(
      L"'{}' has new content but its old time and size: a start keeps the old "
      L"file unread. Give the file a new last-write time before packing",
      step.either().relativePath.text());
}

std::wstring differences(const EntryDiff& step) {
  std::wstring text;
  const auto add = [&](bool differs, std::wstring_view what) {
    if (!differs) return;
    if (!text.empty()) text += L", ";
    text += what;
  };
  add(step.content, L"content");
  add(step.size, fmt::format(L"size {} -> {}", step.before->size, step.after->size));
  add(step.time,
      fmt::format(L"time {} -> {}", isoTime(step.before->fileTime), isoTime(step.after->fileTime)));
  return text;
}

int report(const ReleaseDiff& diff) {
  std::wstring text;
  std::wstring warnings;
  std::size_t unchanged = 0;
  for (const EntryDiff& step : diff.entries) {
    if (step.change == Change::kUnchanged) {
      ++unchanged;
      continue;
    }
    text += fmt::format(L"{:<9} {}", changeName(step.change), step.either().relativePath.text());
    if (step.change == Change::kChanged) text += L" (" + differences(step) + L")";
    text += fmt::format(L": {}\n", actionName(step.start));
    if (step.keptStale()) warnings += L"warning: " + staleWarning(step) + L"\n";
  }
  text += fmt::format(L"{} unchanged\n", counted(unchanged, L"entry", L"entries"));
  text += L"a start on an up-to-date install of the old release " + diff.start.summary() + L"\n";
  writeOut(text);
  writeError(warnings);
  return 0;
}

void entryJson(JsonWriter& out, std::wstring_view key, const bundle::FileEntry* entry) {
  out.key(key);
  if (entry == nullptr) {
    out.null();
    return;
  }
  out.beginObject()
      .key(L"index")
      .number(entry->index)
      .key(L"size")
      .number(entry->size)
      .key(L"compressedSize")
      .number(entry->compressedSize)
      .key(L"crc32c")
      .number(entry->crc32c)
      .key(L"fileTime")
      .number(entry->fileTime)
      .endObject();
}

int reportJson(const ReleaseDiff& diff) {
  JsonWriter out;
  out.beginObject().key(L"entries").beginArray();
  for (const EntryDiff& step : diff.entries) {
    out.beginObject()
        .key(L"path")
        .string(step.either().relativePath.text())
        .key(L"change")
        .string(changeName(step.change))
        .key(L"content")
        .boolean(step.content)
        .key(L"size")
        .boolean(step.size)
        .key(L"time")
        .boolean(step.time);
    entryJson(out, L"old", step.before);
    entryJson(out, L"new", step.after);
    out.key(L"start").string(actionName(step.start)).endObject();
  }
  out.endArray().key(L"start");
  diff.start.writeJson(out);
  out.key(L"warnings").beginArray();
  for (const EntryDiff& step : diff.entries) {
    if (step.keptStale()) out.string(staleWarning(step));
  }
  writeOut(out.endArray().endObject().finish());
  return 0;
}

int run(const Arguments& arguments) {
  const LoadedBundle before(readBundleBytes(sys::pathFromWide(arguments.positional[0])));
  const LoadedBundle after(readBundleBytes(sys::pathFromWide(arguments.positional[1])));
  const ReleaseDiff diff = diffReleases(before, after);
  return arguments.flag(L"--json") ? reportJson(diff) : report(diff);
}

constexpr std::wstring_view kFlags[] = {L"--json"};

}  // namespace

const Command kDiffCommand = {
    L"diff",
    L"diff OLD NEW [--json]",
    L"Compares two releases' bundles entry by entry, paths compared as a launcher\n"
    L"compares them (letter case counts, '\\' and '/' alike): added, removed and\n"
    L"changed entries (content, size, last-write time), each with what the first\n"
    L"start of NEW's launcher does to its file on an install of OLD that is up to\n"
    L"date: keep (same time and size: never read), restamp (same content: only the\n"
    L"time is set), rewrite, write (new), remove, protected (a user's configuration\n"
    L"name, left alone). Then the sum: files written and the bytes decoded for them,\n"
    L"and whether the start checks the whole payload. A file whose content changed\n"
    L"but whose time and size did not is kept stale by every start: a warning says so.\n\n"
    L"OLD and NEW are bundle folders or launcher images, of either platform.\n\n"
    L"  --json  one JSON document instead: every entry (unchanged ones too) with its\n"
    L"          old and new fields, the start's sums and the warnings\n",
    {},
    2,
    run,
    kFlags,
};

}  // namespace aerolith::pack
