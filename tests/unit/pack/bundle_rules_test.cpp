#include "pack/names/bundle_rules.hpp"

#include <gtest/gtest.h>

#include "pack/names/windows_case.hpp"
#include "pack/names/windows_case_table.hpp"
#include "text/utf.hpp"

namespace aerolith::pack {
namespace {

TEST(WindowsCase, NamesWindowsHoldsAsOne) {
  const std::pair<std::wstring_view, std::wstring_view> same[] = {
      {L"Aerolith.EXE", L"aerolith.exe"},
      {L"\u00C9.txt", L"\u00E9.txt"},                              // É é
      {L"\u03A9mega", L"\u03C9mega"},                              // Ω ω
      {L"\u03C3\u03C2", L"\u03A3\u03A3"},                          // σ ς Σ
      {L"\u017Fet", L"SET"},                                       // long s
      {L"\u0131ni", L"INI"},                                       // dotless i, upper-cased to I
      {L"\u212Aelvin", L"kelvin"},                                 // Kelvin sign, folded to k
      {L"\u01C5", L"\u01C6"},                                      // Dž dž
      {L"\u0424\u0430\u0439\u043B", L"\u0444\u0410\u0419\u041B"},  // Cyrillic
      {L"\uFF21", L"\uFF41"},                                      // full-width A a
      {L"\u1E9E", L"\u00DF"},                                      // ẞ ß
  };
  for (const auto& [a, b] : same) {
    EXPECT_EQ(windowsCaseKey(a), windowsCaseKey(b)) << text::toUtf8(a) << " " << text::toUtf8(b);
  }
  const std::pair<std::wstring_view, std::wstring_view> distinct[] = {
      {L"\u00E9", L"e"},               // accents count
      {L"\u00DF", L"ss"},              // no full folding: lengths stay
      {L"\u0130", L"i"},               // I with dot has no simple mapping to i
      {L"\U00010400", L"\U00010428"},  // Deseret: surrogates compare as they are
      {L"a\\b", L"a/b"},               // separators are not letters
  };
  for (const auto& [a, b] : distinct) {
    EXPECT_NE(windowsCaseKey(a), windowsCaseKey(b)) << text::toUtf8(a) << " " << text::toUtf8(b);
  }
}

TEST(WindowsCase, TableIsSortedAndEveryKeyStandsForItself) {
  for (std::size_t i = 1; i < std::size(kWindowsCaseRuns); ++i) {
    EXPECT_GT(kWindowsCaseRuns[i].first, kWindowsCaseRuns[i - 1].last) << i;
  }
  for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const char16_t key = windowsCaseUnit(static_cast<char16_t>(unit));
    ASSERT_EQ(windowsCaseUnit(key), key) << std::hex << unit;
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      ASSERT_EQ(key, unit);
    }
  }
}

TEST(BundleRules, UserConfigurationAndLegacyFilesInAnyLetterCase) {
  for (const std::wstring_view name :
       {L"Config.ini", L"config.INI", L"VantorConfig.json", L"VANTORCONFIG.JSON",
        L"vantorconfig.j\u017Fon", L"Conf\u0131g.ini"}) {
    EXPECT_NE(componentProblem(name).find(L"where the user's settings live"), std::wstring::npos)
        << text::toUtf8(name);
  }
  EXPECT_NE(entryPathProblem(L"Modules\\Relay", L"CONFIG.ini").find(L"'Config.ini' is where"),
            std::wstring::npos);
  EXPECT_NE(entryPathProblem(L"a\\config.ini", L"x.txt").find(L"the folder 'config.ini': "),
            std::wstring::npos);
  EXPECT_NE(entryPathProblem(L"a\\COM1", L"x.txt").find(L"the folder 'COM1': "),
            std::wstring::npos);
  for (const std::wstring_view name : {L"Config.ini.bak", L"MyConfig.ini", L"Config.json"}) {
    EXPECT_EQ(componentProblem(name), L"") << text::toUtf8(name);
  }

  for (const std::wstring_view name : {L"hidapi.x86.dll", L"HIDAPI.X64.DLL",
                                       L"aerolith.vantor.x86.exe", L"Aerolith.Vantor.X64.exe"}) {
    EXPECT_NE(placementProblem(L"", name).find(L"removes"), std::wstring::npos)
        << text::toUtf8(name);
    EXPECT_EQ(placementProblem(L"Modules", name), L"") << text::toUtf8(name);
  }
  EXPECT_EQ(placementProblem(L"", L"hidapi.dll"), L"");
  EXPECT_EQ(placementProblem(L"", L"Aerolith.Vantor.exe"), L"");
}

TEST(BundleRules, FilesAndFoldersThatDifferOnlyInLetterCase) {
  const std::vector<std::wstring> files = {
      L"\u00C9.txt", L"\u00E9.txt", L"\u03A9mega\\a.txt", L"\u03C9mega\\b.txt", L"Data",
      L"data\\x",    L"same\\one",  L"same/two",          L"Same.txt"};
  const std::vector<std::wstring> clashes = letterCaseClashes(files);
  std::wstring all;
  for (const std::wstring& clash : clashes) all += clash + L"\n";
  EXPECT_EQ(clashes.size(), 3u) << text::toUtf8(all);
  for (const std::wstring_view expected :
       {L"'Data', 'data' differ only in letter case; a Windows file system holds only one",
        L"'\u00C9.txt', '\u00E9.txt' differ", L"'\u03A9mega', '\u03C9mega' differ"}) {
    EXPECT_NE(all.find(expected), std::wstring::npos) << text::toUtf8(all);
  }
}

}  // namespace
}  // namespace aerolith::pack
