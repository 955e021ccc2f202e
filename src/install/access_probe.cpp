#include "install/access_probe.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <fstream>
#include <random>
#include <string_view>
#include <system_error>

#include <fmt/xchar.h>

#include "sys/file_objects.hpp"
#include "sys/output_file.hpp"
#include "sys/path.hpp"

namespace aerolith::install {
namespace fs = std::filesystem;
namespace {

constexpr std::wstring_view kTestPrefix = L"test-access-";
constexpr std::wstring_view kFileSuffix = L".file";
constexpr std::wstring_view kFolderSuffix = L".folder";
constexpr std::string_view kMarker = "AerolithTest";

// Names compare as the file system spells them, so the native form of the
// constants is needed (UTF-16 on Windows, bytes on Linux).
using NativeName = fs::path::string_type;

bool hasPrefixAndSuffix(const NativeName& name, const NativeName& prefix,
                        const NativeName& suffix) {
  return name.starts_with(prefix) && name.ends_with(suffix);
}

struct TestPaths {
  fs::path file;
  fs::path folder;
};

TestPaths drawTestPaths(const fs::path& dir) {
  std::random_device source;
  std::mt19937 numbers(source());
  const auto name = [&](std::wstring_view suffix) {
    const auto number = static_cast<std::uint32_t>(numbers());
    return dir / sys::pathFromWide(fmt::format(L"{}{}{}", kTestPrefix, number, suffix));
  };
  TestPaths paths;
  paths.file = name(kFileSuffix);  // the first number names the file, the second the folder
  paths.folder = name(kFolderSuffix);
  return paths;
}

// Something that is not a folder can never become one while it is there.
void removeIfNotDirectory(const fs::path& dir) {
  std::error_code ec;
  if (!fs::exists(dir, ec)) return;
  if (const bool directory = fs::is_directory(dir, ec); !directory && !ec) {
    sys::removeObject(dir, ec);
  }
}

// Removes the entries that interrupted probes left behind; false when one of
// them cannot be removed. Listing failures throw.
bool removeLeftovers(const fs::path& dir) {
  const NativeName prefix = sys::pathFromWide(kTestPrefix).native();
  const NativeName fileSuffix = sys::pathFromWide(kFileSuffix).native();
  const NativeName folderSuffix = sys::pathFromWide(kFolderSuffix).native();
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const NativeName name = entry.path().filename().native();
    std::error_code ec;
    if (entry.is_directory()) {
      if (!hasPrefixAndSuffix(name, prefix, folderSuffix)) continue;
      const std::uintmax_t removed = sys::removeTree(entry.path(), ec);
      if (ec || removed == 0) return false;
    } else if (hasPrefixAndSuffix(name, prefix, fileSuffix)) {
      const bool removed = sys::removeObject(entry.path(), ec);
      if (!removed || ec) return false;
    }
  }
  return true;
}

bool canCreateAndRemoveFolder(const fs::path& folder) {
  std::error_code ec;
  const bool created = sys::createFolder(folder, ec);
  if (!created || ec) return false;
  const bool removed = sys::removeObject(folder, ec);
  return removed && !ec;
}

// Both streams are closed when this returns, so that the file can be removed.
bool writeAndReadBack(const fs::path& file) {
  {
    std::error_code error;
    sys::OutputFile out(file, error);
    if (!out.isOpen()) return false;
    out.write({reinterpret_cast<const std::uint8_t*>(kMarker.data()), kMarker.size()}, error);
    out.close(error);
  }
  if (fs::file_size(file) != kMarker.size()) return false;

  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  in.seekg(0, std::ios::beg);
  if (length != static_cast<std::streamoff>(kMarker.size())) return false;
  std::array<char, kMarker.size()> content{};
  in.read(content.data(), length);
  return std::equal(content.begin(), content.end(), kMarker.begin());
}

// The test file is removed whatever happened; only a removal that worked
// lets a good round trip count.
bool fileRoundTripWorks(const fs::path& file) {
  bool worked = false;
  try {
    worked = writeAndReadBack(file);
  } catch (const std::exception&) {
    worked = false;
  }
  std::error_code ec;
  const bool removed = sys::removeObject(file, ec);
  return worked && removed && !ec;
}

}  // namespace

bool probeDirectoryAccess(const fs::path& dir) {
  try {
    const TestPaths paths = drawTestPaths(dir);
    removeIfNotDirectory(dir);
    return removeLeftovers(dir) && canCreateAndRemoveFolder(paths.folder) &&
           fileRoundTripWorks(paths.file);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace aerolith::install
