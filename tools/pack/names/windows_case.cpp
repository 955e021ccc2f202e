#include "pack/names/windows_case.hpp"

#include <algorithm>
#include <iterator>

#include "pack/names/windows_case_table.hpp"
#include "text/utf16.hpp"

namespace aerolith::pack {

char16_t windowsCaseUnit(char16_t unit) {
  // The last run starting at or before the unit is the only one that can hold it.
  const auto after =
      std::upper_bound(std::begin(kWindowsCaseRuns), std::end(kWindowsCaseRuns), unit,
                       [](char16_t value, const WindowsCaseRun& run) { return value < run.first; });
  if (after == std::begin(kWindowsCaseRuns)) return unit;
  const WindowsCaseRun& run = *std::prev(after);
  if (unit > run.last || (unit - run.first) % run.stride != 0) return unit;
  return static_cast<char16_t>(unit + run.delta);
}

std::u16string windowsCaseKey(std::wstring_view text) {
  std::u16string units = text::toUtf16(text);
  std::transform(units.begin(), units.end(), units.begin(), windowsCaseUnit);
  return units;
}

}  // namespace aerolith::pack
