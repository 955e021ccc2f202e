#include "install/sync_decision.hpp"

#include <string>
#include <string_view>
#include <system_error>

#include "diag/trace_logger.hpp"
#include "install/file_crc.hpp"
#include "sys/path.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr auto kTag = L"Main";

// The path of a walked entry below the install directory, as text: the walk
// names each entry by the install directory, a separator and the rest.
std::wstring relativeText(const fs::path& installDirectory, const fs::path& path) {
  const std::size_t prefix = installDirectory.native().size() + 1;
  return sys::wideFromPath(fs::path(path.native().substr(prefix)));
}

// The last component of a relative path.
std::wstring_view lastComponent(std::wstring_view relative) {
  const std::size_t separator = relative.find_last_of(L"\\/");
  return separator == std::wstring_view::npos ? relative : relative.substr(separator + 1);
}

// Where '\' is no separator (Linux), a name may hold one, and a key would read
// it as a separator: such a name is no manifest path.
bool holdsForeignSeparator(std::wstring_view relative) {
  return fs::path::preferred_separator != L'\\' && relative.find(L'\\') != std::wstring_view::npos;
}

// Same last-write time and size: the file is trusted unread. Where the listing
// brought the time and size along, nothing is asked again.
bool sameTimeAndSize(const sys::WalkEntry& existing, const bundle::FileEntry& entry) {
  AEROLITH_TRACE(kTag, L" - begin check file time and size");
  std::error_code error;
  const sys::FileStamp stamp =
      existing.stamp ? *existing.stamp : existing.folder->readStamp(existing.name, error);
  if (error) return false;
  const auto entrySize = static_cast<std::int64_t>(entry.size);
  AEROLITH_TRACE(kTag, L" - time existing: {}", stamp.lastWriteTime);
  AEROLITH_TRACE(kTag, L" - time entry:    {}", entry.fileTime);
  AEROLITH_TRACE(kTag, L" - size existing: {}", stamp.size);
  AEROLITH_TRACE(kTag, L" - size entry:    {}", entrySize);
  if (stamp.lastWriteTime != entry.fileTime ||
      stamp.size != static_cast<std::uint64_t>(entrySize)) {
    return false;
  }
  AEROLITH_TRACE(kTag, L" - time and size are equal - continue");
  return true;
}

}  // namespace

ProtectedNames protectedConfigNames() {
  return {bundle::BundlePath(L"Config.ini"), bundle::BundlePath(L"VantorConfig.json")};
}

Decision decide(const fs::path& installDirectory, const sys::WalkEntry& existing,
                bundle::FilesMap& files, const ProtectedNames& protectedNames) {
  // A link is never entered nor taken for a folder, wherever it leads.
  if (existing.kind == sys::ObjectKind::kDirectory) {
    AEROLITH_TRACE(kTag, L" - is directory - continue");
    return {Verdict::kDirectory, files.end()};
  }
  const std::wstring relative = relativeText(installDirectory, existing.path);
  if (protectedNames.contains(bundle::BundlePath(std::wstring(lastComponent(relative))))) {
    AEROLITH_TRACE(kTag, L" - is config file - continue");
    return {Verdict::kProtected, files.end()};
  }
  const auto listed =
      holdsForeignSeparator(relative) ? files.end() : files.find(bundle::BundlePath(relative));
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
  if (sameTimeAndSize(existing, entry)) return {Verdict::kIntact, listed};
  AEROLITH_TRACE(kTag, L" - end check file time and size");
  AEROLITH_TRACE(kTag, L" - begin check crc32");
  if (computeFileCrc32c(*existing.folder, existing.name) == entry.crc32c) {
    AEROLITH_TRACE(kTag, L" - crc32 equal - update file time and continue");
    return {Verdict::kRestamp, listed};
  }
  AEROLITH_TRACE(kTag, L" - crc32 different - overwrite file");
  return {Verdict::kRewrite, listed};
}

}  // namespace aerolith::install
