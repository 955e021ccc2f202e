#include "install/sync_decision.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <system_error>

#include "diag/trace_logger.hpp"
#include "install/file_crc.hpp"
#include "sys/fs/path.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"Main";

// The path of a walked entry below the install directory, as text: the
// sub-folders of the folder that holds it (whose path is the install
// directory's, a separator and the rest) and its name. Made from the texts
// alone, without parsing a path: this runs for every file of every start.
std::wstring relativeText(const fs::path& installDirectory, const sys::Folder& holder,
                          const sys::WalkEntry& existing) {
  const fs::path::string_type& folder = holder.path().native();
  const std::size_t prefix = installDirectory.native().size() + 1;
  fs::path::string_type relative;
  if (folder.size() > prefix) {
    relative.reserve(folder.size() - prefix + 1 + existing.name.native().size());
    relative.append(folder, prefix);
    relative += fs::path::preferred_separator;
  }
  relative += existing.name.native();
  return sys::wideFromNative(relative);
}

// The last component of a relative path.
std::wstring_view lastComponent(std::wstring_view relative) {
  const std::size_t separator = relative.find_last_of(L"\\/");
  return separator == std::wstring_view::npos ? relative : relative.substr(separator + 1);
}

// A bare name against the protected ones, which hold no separator either:
// equal as keys only when equal as texts.
bool isProtected(std::wstring_view name, const ProtectedNames& protectedNames) {
  return std::any_of(
      protectedNames.begin(), protectedNames.end(),
      [&](const bundle::BundlePath& protectedName) { return protectedName.text() == name; });
}

// Where '\' is no separator (Linux), a name may hold one, and a key would read
// it as a separator: such a name is no manifest path.
bool holdsForeignSeparator(std::wstring_view relative) {
  return fs::path::preferred_separator != L'\\' && relative.find(L'\\') != std::wstring_view::npos;
}

// Same last-write time and size: the file is trusted unread. Where the listing
// brought the time and size along, nothing is asked again.
bool sameTimeAndSize(const sys::Folder& folder, const sys::WalkEntry& existing,
                     const bundle::FileEntry& entry) {
  AEROLITH_TRACE(kTag, L" - begin check file time and size");
  const base::Result<sys::FileStamp> read =
      existing.stamp ? *existing.stamp : folder.readStamp(existing.name);
  if (!read) return false;
  const sys::FileStamp& stamp = *read;
  const auto entrySize = static_cast<std::int64_t>(entry.size);
  AEROLITH_TRACE(kTag, L" - time existing: {}", stamp.lastWriteTime);
  AEROLITH_TRACE(kTag, L" - time entry:    {}", entry.fileTime);
  AEROLITH_TRACE(kTag, L" - size existing: {}", stamp.size);
  AEROLITH_TRACE(kTag, L" - size entry:    {}", entrySize);
  if (stamp.lastWriteTime != entry.fileTime ||
      stamp.size != static_cast<std::uint64_t>(entrySize)) {
    return false;
  }
  return true;
}

Decision intact(bundle::FilesMap::iterator listed) {
  AEROLITH_TRACE(kTag, L" - time and size are equal - continue");
  return {Verdict::kIntact, listed};
}

// A file with other names is never changed in place (its attributes and
// times are those of every name, maybe outside the folder); asked only where a
// change in place would follow, as the answer takes a query of its own.
bool hasOtherLinks(const sys::Folder& folder, const sys::WalkEntry& existing) {
  const base::Result<std::uint32_t> links = folder.linkCount(existing.name);
  return links && *links > 1;
}

}  // namespace

ProtectedNames protectedConfigNames() {
  return {bundle::BundlePath(L"Config.ini"), bundle::BundlePath(L"VantorConfig.json")};
}

Decision decide(const fs::path& installDirectory, const sys::Folder& folder,
                const sys::WalkEntry& existing, bundle::FilesMap& files,
                const ProtectedNames& protectedNames, diag::Progress& progress) {
  // A link is never entered nor taken for a folder, wherever it leads.
  if (existing.kind == sys::ObjectKind::kDirectory) {
    AEROLITH_TRACE(kTag, L" - is directory - continue");
    return {Verdict::kDirectory, files.end()};
  }
  std::wstring relative = relativeText(installDirectory, folder, existing);
  if (isProtected(lastComponent(relative), protectedNames)) {
    AEROLITH_TRACE(kTag, L" - is config file - continue");
    return {Verdict::kProtected, files.end()};
  }
  const auto listed = holdsForeignSeparator(relative)
                          ? files.end()
                          : files.find(bundle::BundlePath(std::move(relative)));
  if (listed == files.end()) {
    AEROLITH_TRACE(kTag, L" - not in file list");
    return {Verdict::kUnlisted, listed};
  }
  if (existing.kind == sys::ObjectKind::kLink) {
    // Its time, size and content are its target's, outside the install
    // directory: it is replaced by the file, never stamped or kept.
    AEROLITH_TRACE(kTag, L" - is link - overwrite file");
    return {Verdict::kRewrite, listed};
  }
  const bundle::FileEntry& entry = *listed->second;
  const bool same = sameTimeAndSize(folder, existing, entry);
  if (same && existing.normalAttributes) return intact(listed);
  if (!same) AEROLITH_TRACE(kTag, L" - end check file time and size");
  if (hasOtherLinks(folder, existing)) {
    AEROLITH_TRACE(kTag, L" - has other links - overwrite file");
    return {Verdict::kRewrite, listed};
  }
  if (same) return intact(listed);
  AEROLITH_TRACE(kTag, L" - begin check crc32");
  if (computeFileCrc32c(folder, existing.name, static_cast<std::uint64_t>(entry.size), progress) ==
      entry.crc32c) {
    AEROLITH_TRACE(kTag, L" - crc32 equal - update file time and continue");
    return {Verdict::kRestamp, listed};
  }
  AEROLITH_TRACE(kTag, L" - crc32 different - overwrite file");
  return {Verdict::kRewrite, listed};
}

}  // namespace aerolith::install
