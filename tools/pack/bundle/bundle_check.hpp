// A bundle read through the launcher's own reader, and every check the tool
// makes of it: what a launcher installing it would refuse, which of its
// entries a launcher would never install, and the producer's rules for paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bundle/bundle_view.hpp"
#include "bundle/error_triple.hpp"
#include "bundle/file_entry.hpp"
#include "bundle/loading.hpp"
#include "pack/bundle/bundle_files.hpp"

namespace aerolith::pack {

// A bundle's bytes and its entries in manifest order, duplicates included.
// The entries point into the bytes, so the object is never copied.
class LoadedBundle {
 public:
  // Reads `bytes` as a launcher loading them would: both resources, the
  // manifest's CRC and entry count, and every entry. Throws a Failure with
  // the launcher's refusal, naming the entry it stopped at.
  explicit LoadedBundle(BundleBytes bytes);
  LoadedBundle(const LoadedBundle&) = delete;
  LoadedBundle& operator=(const LoadedBundle&) = delete;

  const BundleBytes& bytes() const { return bytes_; }
  const bundle::BundleView& view() const { return view_; }
  const std::vector<bundle::FileEntry>& entries() const { return list_.entries; }

  // After the last entry: covered by the manifest's CRC, otherwise unused.
  std::size_t trailingBytes() const;

 private:
  BundleBytes bytes_;
  bundle::BundleView view_;
  bundle::EntryList list_;
};

// "entry 3 'Docs\Licence.txt'", or "entry 3" when its path is not known.
std::wstring entryLabel(std::int64_t index, const bundle::BundlePath& path);
std::wstring entryLabel(const bundle::FileEntry& entry);

// "the launcher would refuse this bundle: 7.3.12: entry 3 'x': " and the
// triple's meaning; `subject` (an entryLabel) may be empty.
std::wstring refusal(const bundle::ErrorTriple& triple, std::wstring_view subject);

// For each entry, the index of the first entry of the same path (by the files
// map's key rules): the only one a launcher installs.
std::vector<std::size_t> firstOfEachPath(const std::vector<bundle::FileEntry>& entries);

// The entry's content after the checks a launcher adding the file makes.
// Throws a Failure with the launcher's refusal otherwise.
std::vector<std::uint8_t> extractContent(const bundle::FileEntry& entry);

// Every problem of a bundle, one line each: the payload's CRC, each entry
// that does not extract, each entry a launcher would not install because an
// earlier one has its path, and each path that breaks the producer's rules.
std::vector<std::wstring> bundleProblems(const LoadedBundle& bundle);

}  // namespace aerolith::pack
