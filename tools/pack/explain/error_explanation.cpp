#include "pack/explain/error_explanation.hpp"

#include <charconv>
#include <cstdint>
#include <cwctype>
#include <limits>

#include <fmt/xchar.h>

#include "pack/explain/launcher_errors.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

using bundle::Stage;

constexpr std::wstring_view kMessagePrefix = L"Error code:";

std::wstring_view trimmed(std::wstring_view text) {
  while (!text.empty() && std::iswspace(text.front())) text.remove_prefix(1);
  while (!text.empty() && std::iswspace(text.back())) text.remove_suffix(1);
  return text;
}

// A whole decimal number, signed or not; nothing when it is not one.
std::optional<std::int64_t> number(std::wstring_view text) {
  const std::string digits = text::toUtf8(text);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

// The range the dialog prints a detail in: unsigned CRCs, else signed 32 bits.
bool printable(Stage stage, std::int64_t detail) {
  if (stage == Stage::kManifestCrc || stage == Stage::kPayloadCrc) {
    return detail >= 0 && detail <= std::numeric_limits<std::uint32_t>::max();
  }
  return detail >= std::numeric_limits<std::int32_t>::min() &&
         detail <= std::numeric_limits<std::int32_t>::max();
}

std::wstring crcs(const bundle::ErrorTriple& triple) {
  return fmt::format(L"here computed 0x{:08X}, stored 0x{:08X}{}",
                     static_cast<std::uint32_t>(triple.first),
                     static_cast<std::uint32_t>(triple.second),
                     triple.first == triple.second ? L"; equal values mean the resource is "
                                                     L"shorter than its header"
                                                   : L"");
}

std::wstring whatFailed(const bundle::ErrorTriple& triple, std::wstring_view meaning) {
  switch (triple.stage) {
    case Stage::kResources:
      return fmt::format(L"finding the bundle in the launcher's file: {}", meaning);
    case Stage::kManifestCrc:
      return fmt::format(L"checking the manifest (the bundle's table of files): {}; {}", meaning,
                         crcs(triple));
    case Stage::kEntryCount:
      return fmt::format(L"reading the manifest: {} ({})", meaning, triple.first);
    case Stage::kPayloadCrc:
      return fmt::format(L"checking the payload (the bundle's compressed files): {} ({})", meaning,
                         crcs(triple));
    case Stage::kEntryParse:
      return fmt::format(
          L"reading entry {} of the manifest (counted from 0, as 'aerolith-pack list' shows "
          L"it): {}",
          triple.first, meaning);
    case Stage::kReplaceEntry:
    case Stage::kAddEntry:
      return fmt::format(
          L"unpacking entry {} of the bundle (counted from 0, as 'aerolith-pack list' shows "
          L"it), {}",
          triple.first, meaning);
  }
  return std::wstring(meaning);
}

struct CauseText {
  std::wstring_view cause;
  std::wstring_view advice;
};

CauseText textOf(Cause cause) {
  switch (cause) {
    case Cause::kNoBundle:
      return {
          L"the launcher carries no bundle, or not all of it: a launcher was shipped without "
          L"the application's files, or the file was cut short or altered after it was made.",
          L"Download the launcher again from the official website, replace this copy and "
          L"start it. If the new download shows the same code, the release lacks its "
          L"bundle: report the code and the launcher's version to the maker, who can see "
          L"what the launcher carries with 'aerolith-pack list'."};
    case Cause::kDamagedFile:
      return {
          L"the launcher's file on this computer changed after it was made: a download that "
          L"broke off or was corrupted, a failing disk or memory, or a program such as an "
          L"antivirus that altered the file.",
          L"Download the launcher again from the official website, replace this copy and "
          L"start it. If a new download shows the same code, check the disk for errors and "
          L"whether an antivirus program quarantines or changes the launcher, and report "
          L"the code and the launcher's version to the maker."};
    case Cause::kFaultyRelease:
      return {
          L"the release itself is faulty: what failed is exactly as the bundle producer "
          L"wrote it (the check sums over it hold), so every copy of this launcher fails "
          L"the same way and a new download does not help. Rarely, failing memory on this "
          L"computer gives the same.",
          L"Report the code and the launcher's version to the maker and keep the copy "
          L"installed before. The maker finds the problem with 'aerolith-pack verify' on "
          L"the launcher and ships a corrected release."};
  }
  return {};
}

}  // namespace

std::optional<bundle::ErrorTriple> parseErrorCode(std::wstring_view text) {
  text = trimmed(text);
  if (text.starts_with(kMessagePrefix)) text = trimmed(text.substr(kMessagePrefix.size()));
  // The full stop of a sentence the code was copied from.
  if (text.ends_with(L'.')) text.remove_suffix(1);
  const std::size_t firstDot = text.find(L'.');
  const std::size_t secondDot =
      firstDot == std::wstring_view::npos ? firstDot : text.find(L'.', firstDot + 1);
  if (secondDot == std::wstring_view::npos) return std::nullopt;
  const auto stage = number(text.substr(0, firstDot));
  const auto first = number(text.substr(firstDot + 1, secondDot - firstDot - 1));
  const auto second = number(text.substr(secondDot + 1));
  if (!stage || !first || !second || *stage < 1 || *stage > 7) return std::nullopt;
  const bundle::ErrorTriple triple{static_cast<Stage>(*stage), *first, *second};
  if (!printable(triple.stage, *first) || !printable(triple.stage, *second)) return std::nullopt;
  return triple;
}

std::optional<Explanation> explain(const bundle::ErrorTriple& triple) {
  const LauncherError* row = findLauncherError(triple);
  if (row == nullptr) return std::nullopt;
  const CauseText text = textOf(row->cause);
  return Explanation{whatFailed(triple, row->meaning), std::wstring(text.cause),
                     std::wstring(text.advice)};
}

}  // namespace aerolith::pack
