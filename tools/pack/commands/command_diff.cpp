// diff OLD NEW: what a new release changes, and what its first start on an
// up-to-date install of the old one does.
#include <fmt/xchar.h>

#include "pack/base/failure.hpp"
#include "pack/base/file_io.hpp"
#include "pack/bundle/bundle_check.hpp"
#include "pack/bundle/bundle_files.hpp"
#include "pack/cli/console.hpp"
#include "pack/cli/findings.hpp"
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

// The warnings of a diff: each file that every start keeps stale.
std::vector<Finding> staleWarnings(const ReleaseDiff& diff) {
  std::vector<Finding> warnings;
  for (const EntryDiff& step : diff.entries) {
    if (step.keptStale()) {
      warnings.push_back({L"kept-stale", staleWarning(step), step.either().relativePath.text()});
    }
  }
  return warnings;
}

// A release as diff names it: its path and, for an image, its version.
struct Release {
  std::filesystem::path path;
  std::optional<ImageVersion> image;
};

std::wstring releaseLine(std::wstring_view which, const Release& release) {
  return fmt::format(L"{} {}{}\n", which, quoted(release.path),
                     release.image
                         ? L", version " + (release.image->version ? release.image->version->text()
                                                                   : std::wstring(L"none"))
                         : L"");
}

void report(const ReleaseDiff& diff, const Release& before, const Release& after) {
  std::wstring text = releaseLine(L"old:", before) + releaseLine(L"new:", after);
  std::size_t unchanged = 0;
  for (const EntryDiff& step : diff.entries) {
    if (step.change == Change::kUnchanged) {
      ++unchanged;
      continue;
    }
    text += fmt::format(L"{:<9} {}", changeName(step.change), step.either().relativePath.text());
    if (step.change == Change::kChanged) text += L" (" + differences(step) + L")";
    text += fmt::format(L": {}\n", actionName(step.start));
  }
  text += fmt::format(L"{} unchanged\n", counted(unchanged, L"entry", L"entries"));
  text += L"a start on an up-to-date install of the old release " + diff.start.summary() + L"\n";
  writeOut(text);
  writeError(findingLines(staleWarnings(diff), L"warning"));
}

void releaseJson(JsonWriter& out, std::wstring_view key, const Release& release) {
  out.key(key).beginObject().key(L"path").string(shownPath(release.path)).key(L"version");
  if (release.image && release.image->version) {
    out.string(release.image->version->text());
  } else {
    out.null();
  }
  out.endObject();
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
      .string(crcText(entry->crc32c))
      .key(L"fileTime")
      .number(entry->fileTime)
      .endObject();
}

void reportJson(const ReleaseDiff& diff, const Release& before, const Release& after) {
  JsonWriter out;
  out.beginObject().key(L"ok").boolean(true);
  releaseJson(out, L"old", before);
  releaseJson(out, L"new", after);
  out.key(L"entries").beginArray();
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
  writeFindings(out, L"warnings", staleWarnings(diff));
  writeOut(out.endObject().finish());
}

int run(const Arguments& arguments) {
  const auto oldPath = sys::pathFromWide(arguments.positional[0]);
  const auto newPath = sys::pathFromWide(arguments.positional[1]);
  const LoadedBundle before(readBundleBytes(oldPath));
  const LoadedBundle after(readBundleBytes(newPath));
  const Release oldRelease{oldPath, imageVersion(oldPath)};
  const Release newRelease{newPath, imageVersion(newPath)};
  const ReleaseDiff diff = diffReleases(before, after);
  if (arguments.flag(L"--json")) {
    reportJson(diff, oldRelease, newRelease);
  } else {
    report(diff, oldRelease, newRelease);
  }
  // --strict: a warning fails the diff, for a release script that stops on it.
  return arguments.flag(L"--strict") && !staleWarnings(diff).empty() ? kExitFailure : kExitOk;
}

constexpr std::wstring_view kFlags[] = {L"--json", L"--strict"};

}  // namespace

const Command kDiffCommand = {
    L"diff",
    L"diff OLD NEW [--strict] [--json]",
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
    L"  --strict  exit code 1 when there is a warning\n"
    L"  --json    one JSON document instead: ok, old and new (path and version), every\n"
    L"            entry (unchanged ones too) with its old and new fields, the start's\n"
    L"            sums and the warnings\n",
    {},
    2,
    run,
    kFlags,
};

}  // namespace aerolith::pack
