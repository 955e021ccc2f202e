#include "pack/bundle/bundle_check.hpp"

#include <algorithm>
#include <iterator>
#include <optional>
#include <unordered_map>

#include <fmt/xchar.h>

#include "bundle/format.hpp"
#include "pack/base/failure.hpp"
#include "pack/explain/launcher_errors.hpp"
#include "pack/names/bundle_rules.hpp"

namespace aerolith::pack {
namespace {

// The entry the launcher's reader stopped at, as far as it was read: parsed
// again from the start, since the reader keeps only the entries that passed.
bundle::FileEntry failedEntry(const bundle::BundleView& view, std::int64_t failedIndex) {
  bundle::FileEntry entry;
  std::int32_t cursor = bundle::format::kEntriesOffset;
  for (std::int32_t index = 0; index <= failedIndex; ++index) {
    entry = {};
    // The entries before it parsed before, and it is wanted however it fails.
    static_cast<void>(entry.parse(view, cursor, index));
  }
  return entry;
}

// A Zstandard frame's first four bytes, as every payload holds them after its CRC.
constexpr std::uint8_t kFrameMagic[] = {0x28, 0xB5, 0x2F, 0xFD};

bool holdsFramesFirst(std::span<const std::uint8_t> resource) {
  return resource.size() >= bundle::format::kFramesOffset + sizeof kFrameMagic &&
         std::equal(std::begin(kFrameMagic), std::end(kFrameMagic),
                    resource.begin() + bundle::format::kFramesOffset);
}

// Why a launcher would refuse to load the bundle, in plain words first where
// the code alone tells a newcomer little.
std::wstring loadRefusal(const bundle::ErrorTriple& failure, const bundle::BundleView& view) {
  if (failure.stage == bundle::Stage::kEntryParse) {
    const bundle::FileEntry entry = failedEntry(view, failure.first);
    if (failure.second == bundle::shownCode(bundle::EntryResult::kFramePastPayload)) {
      return fmt::format(
          L"the payload is truncated, or was not packed with this manifest: it holds {} bytes, "
          L"but the frame of {} ends at byte {} ({})",
          view.payloadSize, entryLabel(entry),
          static_cast<std::int64_t>(entry.dataOffset) + entry.compressedSize,
          refusal(failure, L""));
    }
    return refusal(failure, entryLabel(entry));
  }
  if (holdsFramesFirst(view.manifest())) {
    return fmt::format(
        L"the manifest and the payload are swapped: what is given as the manifest holds "
        L"Zstandard frames, as a payload does ({})",
        refusal(failure, L""));
  }
  return refusal(failure, L"");
}

}  // namespace

LoadedBundle::LoadedBundle(BundleBytes bytes) : bytes_(std::move(bytes)) {
  base::Result<bundle::BundleView, bundle::ErrorTriple> view =
      bundle::viewOfBytes(bytes_.manifest, bytes_.payload);
  if (!view) throw Failure(loadRefusal(view.error(), view_), L"bundle-refused");
  view_ = *view;
  diag::Progress unwatched;  // a tool's work has no watchdog
  const bundle::Status listed = bundle::readEntryList(view_, list_, unwatched);
  if (!listed) throw Failure(loadRefusal(listed.error(), view_), L"bundle-refused");
}

std::size_t LoadedBundle::trailingBytes() const {
  return bytes_.manifest.size() - static_cast<std::size_t>(list_.end);
}

std::wstring entryLabel(std::int64_t index, const bundle::BundlePath& path) {
  if (path.empty()) return fmt::format(L"entry {}", index);
  return fmt::format(L"entry {} '{}'", index, path.text());
}

std::wstring entryLabel(const bundle::FileEntry& entry) {
  // A name is only joined once it was read; before, the path is not known.
  return entryLabel(entry.index, entry.name.empty() ? bundle::BundlePath() : entry.relativePath);
}

std::wstring refusal(const bundle::ErrorTriple& triple, std::wstring_view subject) {
  return fmt::format(L"the launcher would refuse this bundle: {}: {}{}{}", triple.text(), subject,
                     subject.empty() ? L"" : L": ", meaningOf(triple));
}

std::vector<std::size_t> firstOfEachPath(const std::vector<bundle::FileEntry>& entries) {
  std::unordered_map<bundle::BundlePath, std::size_t> first;
  std::vector<std::size_t> result;
  for (std::size_t index = 0; index < entries.size(); ++index) {
    result.push_back(first.try_emplace(entries[index].relativePath, index).first->second);
  }
  return result;
}

std::vector<std::uint8_t> extractContent(const bundle::FileEntry& entry) {
  bundle::FileEntry extracted = entry;
  diag::Progress unwatched;
  const bundle::EntryStatus decoded = extracted.decompress(unwatched);
  if (!decoded) {
    throw Failure(
        refusal({bundle::Stage::kAddEntry, entry.index, bundle::shownCode(decoded.error())},
                entryLabel(entry)));
  }
  return std::move(extracted.content);
}

std::vector<std::wstring> bundleProblems(const LoadedBundle& bundle) {
  std::vector<std::wstring> problems;
  diag::Progress unwatched;
  const bundle::Status payload = bundle::checkPayload(bundle.view(), unwatched);
  if (!payload) problems.push_back(refusal(payload.error(), L""));
  const auto& entries = bundle.entries();
  std::vector<std::wstring> unextracted;
  for (const bundle::FileEntry& entry : entries) {
    try {
      extractContent(entry);
    } catch (const Failure& failure) {
      unextracted.push_back(failure.message());
    }
  }
  // A whole payload whose frames do not match the manifest's entries is
  // another pack's: one line says so rather than one per entry.
  if (payload && unextracted.size() > 1) {
    problems.push_back(fmt::format(
        L"manifest.bin and payload.bin come from different packs: the payload is whole (its "
        L"CRC-32C holds), but {} of {} entries do not match their bytes in it; pack again, or "
        L"put the two files of one pack together (the first: {})",
        unextracted.size(), entries.size(), unextracted.front()));
  } else {
    problems.insert(problems.end(), unextracted.begin(), unextracted.end());
  }
  const std::vector<std::size_t> first = firstOfEachPath(entries);
  std::vector<std::wstring> paths;
  for (std::size_t index = 0; index < entries.size(); ++index) {
    const bundle::FileEntry& entry = entries[index];
    if (first[index] != index) {
      problems.push_back(
          fmt::format(L"{}: {} has the same path; a launcher installs only the first",
                      entryLabel(entry), entryLabel(entries[first[index]])));
      continue;
    }
    if (std::wstring why = entryPathProblem(entry.directory, entry.name); !why.empty()) {
      problems.push_back(fmt::format(L"{}: {}", entryLabel(entry), why));
    }
    paths.push_back(entry.relativePath.text());
  }
  for (std::wstring& clash : letterCaseClashes(paths)) problems.push_back(std::move(clash));
  return problems;
}

}  // namespace aerolith::pack
