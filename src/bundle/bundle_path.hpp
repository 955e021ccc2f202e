// The relative path of a bundle entry, which is also the key of the files map.
// Keys compare as the path library compares relative paths, made explicit so
// that both platforms agree: '\' and '/' are the same separator, a run of
// separators counts as one, and letter case counts.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace aerolith::bundle {

class BundlePath {
 public:
  BundlePath() : BundlePath(std::wstring()) {}
  explicit BundlePath(std::wstring text) : text_(std::move(text)), hash_(hashOf(text_)) {}

  // An entry's relative path: `directory`, then `name` appended.
  static BundlePath join(std::wstring_view directory, std::wstring_view name);

  const std::wstring& text() const { return text_; }
  bool empty() const { return text_.empty(); }

  // The same path with the platform's separator, to be placed under a folder.
  std::filesystem::path toFileSystemPath() const;

  friend bool operator==(const BundlePath& a, const BundlePath& b);

  // Equal for equal paths however their separators are written; computed once,
  // when the text is set, since every lookup and rehash of a key asks for it.
  std::size_t hash() const { return hash_; }

 private:
  static std::size_t hashOf(std::wstring_view text);

  std::wstring text_;
  std::size_t hash_;
};

bool isPathSeparator(wchar_t unit);

}  // namespace aerolith::bundle

template <>
struct std::hash<aerolith::bundle::BundlePath> {
  std::size_t operator()(const aerolith::bundle::BundlePath& path) const noexcept {
    return path.hash();
  }
};
