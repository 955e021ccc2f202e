#include "bundle/bundle_path.hpp"

#include <algorithm>
#include <cstdint>

#include "sys/fs/path.hpp"

namespace aerolith::bundle {
namespace {

// The units of a path as a key sees them: each run of separators is one '\'.
class KeyUnits {
 public:
  explicit KeyUnits(std::wstring_view text) : text_(text) {}

  bool next(wchar_t& unit) {
    if (position_ == text_.size()) return false;
    unit = text_[position_++];
    if (isPathSeparator(unit)) {
      unit = L'\\';
      while (position_ < text_.size() && isPathSeparator(text_[position_])) ++position_;
    }
    return true;
  }

 private:
  std::wstring_view text_;
  std::size_t position_ = 0;
};

}  // namespace

bool isPathSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

BundlePath BundlePath::join(std::wstring_view directory, std::wstring_view name) {
  std::wstring text;
  text.reserve(directory.size() + 1 + name.size());  // one allocation, of the size it keeps
  text = directory;
  if (!text.empty() && !isPathSeparator(text.back())) text += L'\\';
  text += name;
  return BundlePath(std::move(text));
}

std::filesystem::path BundlePath::toFileSystemPath() const {
  std::wstring native = text_;
  std::replace_if(native.begin(), native.end(), isPathSeparator,
                  static_cast<wchar_t>(std::filesystem::path::preferred_separator));
  return sys::pathFromWide(native);
}

bool operator==(const BundlePath& a, const BundlePath& b) {
  if (a.hash_ != b.hash_) return false;
  KeyUnits left(a.text_);
  KeyUnits right(b.text_);
  wchar_t x = 0;
  wchar_t y = 0;
  while (true) {
    const bool moreLeft = left.next(x);
    const bool moreRight = right.next(y);
    if (moreLeft != moreRight) return false;
    if (!moreLeft) return true;
    if (x != y) return false;
  }
}

// FNV-1a over the key's units, so that equal keys hash alike however their
// separators are written.
std::size_t BundlePath::hashOf(std::wstring_view text) {
  KeyUnits units(text);
  std::uint64_t hash = 0xcbf29ce484222325;
  wchar_t unit = 0;
  while (units.next(unit)) {
    hash = (hash ^ static_cast<std::uint32_t>(unit)) * 0x100000001b3;
  }
  return static_cast<std::size_t>(hash);
}

}  // namespace aerolith::bundle
