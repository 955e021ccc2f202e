#include "pack/bundle/path_filter.hpp"

#include <algorithm>

#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

std::wstring normalised(std::wstring_view path) {
  std::wstring text(path);
  std::replace(text.begin(), text.end(), L'\\', L'/');
  while (text.starts_with(L"./")) text.erase(0, 2);
  return text;
}

// Glob matching by backtracking over the last star; '**' may cross '/'.
bool matches(std::wstring_view pattern, std::wstring_view text) {
  if (pattern.empty()) return text.empty();
  if (pattern.starts_with(L"**")) {
    for (std::size_t skip = 0; skip <= text.size(); ++skip) {
      if (matches(pattern.substr(2), text.substr(skip))) return true;
    }
    return false;
  }
  if (pattern[0] == L'*') {
    for (std::size_t skip = 0; skip <= text.size(); ++skip) {
      if (matches(pattern.substr(1), text.substr(skip))) return true;
      if (skip < text.size() && text[skip] == L'/') return false;
    }
    return false;
  }
  if (text.empty()) return false;
  if (pattern[0] != L'?' && pattern[0] != text[0]) return false;
  if (pattern[0] == L'?' && text[0] == L'/') return false;
  return matches(pattern.substr(1), text.substr(1));
}

}  // namespace

PathFilter::PathFilter(std::vector<std::wstring> excludes,
                       std::optional<std::vector<std::wstring>> listed) {
  for (const std::wstring& pattern : excludes) excludes_.push_back(normalised(pattern));
  if (listed) {
    listed_.emplace();
    for (const std::wstring& path : *listed) listed_->insert(normalised(path));
  }
}

bool PathFilter::excluded(std::wstring_view relative) const {
  const std::wstring path = normalised(relative);
  const std::size_t slash = path.rfind(L'/');
  const std::wstring_view name = slash == std::wstring::npos
                                     ? std::wstring_view(path)
                                     : std::wstring_view(path).substr(slash + 1);
  return std::any_of(excludes_.begin(), excludes_.end(), [&](const std::wstring& pattern) {
    return pattern.find(L'/') == std::wstring::npos ? matches(pattern, name)
                                                    : matches(pattern, path);
  });
}

bool PathFilter::takes(std::wstring_view relative) const {
  return !excluded(relative) && (!listed_ || listed_->contains(normalised(relative)));
}

std::vector<std::wstring> PathFilter::unmatched(const std::set<std::wstring>& taken) const {
  std::vector<std::wstring> missing;
  if (!listed_) return missing;
  for (const std::wstring& path : *listed_) {
    if (!taken.contains(path)) missing.push_back(path);
  }
  return missing;
}

std::vector<std::wstring> parseFileList(std::string_view text) {
  std::vector<std::wstring> paths;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.starts_with('#')) continue;
    paths.push_back(normalised(text::fromUtf8(line)));
  }
  return paths;
}

}  // namespace aerolith::pack
