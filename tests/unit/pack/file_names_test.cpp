#include "pack/names/file_names.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "bundle/safe_path.hpp"
#include "text/utf.hpp"
#include "text/utf16.hpp"

namespace aerolith::pack {
namespace {

// Names at the edges of what Windows and a launcher accept.
std::vector<std::wstring> hazards() {
  std::vector<std::wstring> names;
  const std::wstring_view digits = L"0123456789\u00B9\u00B2\u00B3";
  for (const std::wstring_view device : {L"COM", L"LPT", L"com", L"lPt"}) {
    for (const wchar_t digit : digits) {
      for (const std::wstring_view tail : {L"", L".txt", L" .log", L" ", L"x", L"0"}) {
        names.push_back(std::wstring(device) + digit + std::wstring(tail));
      }
    }
  }
  for (const std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$",
                                         L"con", L"nUl", L"conin$", L"CONSOLE", L"NULL"}) {
    for (const std::wstring_view tail : {L"", L".txt", L" .txt", L".", L" ", L"..x", L"_"}) {
      names.push_back(std::wstring(device) + std::wstring(tail));
    }
  }
  for (const std::wstring_view name : {L"a.",
                                       L"a ",
                                       L"a .txt",
                                       L"a. .txt",
                                       L".a",
                                       L" a",
                                       L".",
                                       L"..",
                                       L"...",
                                       L". .",
                                       L" ",
                                       L"",
                                       L":",
                                       L"a:b",
                                       L"C:",
                                       L"\\",
                                       L"a\\b",
                                       L"/",
                                       L"a/b",
                                       L"a<b",
                                       L"a|b",
                                       L"a?b",
                                       L"a*b",
                                       L"a\"b",
                                       L"Aerolith.exe",
                                       L"J\u00e9r\u00f4me",
                                       L"\U0001F600.txt",
                                       L"a\u007Fb"}) {
    names.emplace_back(name);
  }
  for (wchar_t control = 0; control < 0x20; ++control)
    names.push_back(L"a" + std::wstring(1, control));
  for (const char16_t surrogate : {0xD800, 0xDBFF, 0xDC00, 0xDFFF}) {
    names.push_back(text::fromUtf16(std::u16string{u'a', surrogate}));
    names.push_back(text::fromUtf16(std::u16string{surrogate, u'a'}));
  }
  names.push_back(text::fromUtf16(u"\xDC00\xD800"));  // a pair the wrong way round
  for (const std::size_t units : {254u, 255u, 256u}) {
    names.push_back(std::wstring(units, L'a'));
    std::u16string pairs;
    for (std::size_t i = 0; i + 1 < units; i += 2) pairs += u"\xD83D\xDE00";
    if (pairs.size() < units) pairs += u'a';
    names.push_back(text::fromUtf16(pairs));
  }
  return names;
}

// What the launcher accepts as a file name and as a folder's name.
bool launcherAccepts(std::wstring_view name) {
  return bundle::entryNameProblem(name) == bundle::NameProblem::kNone &&
         bundle::isSafeEntryPath(L"", name) && bundle::isSafeEntryPath(name, L"x") &&
         bundle::isSafeEntryPath(L"a\\" + std::wstring(name), L"x");
}

TEST(WindowsNames, AcceptOnlyWhatTheLauncherAccepts) {
  std::size_t accepted = 0;
  for (const std::wstring& name : hazards()) {
    const std::wstring why = windowsNameProblem(name);
    if (launcherAccepts(name)) {
      accepted += why.empty();
    } else {
      EXPECT_NE(why.find(L"a launcher refuses it"), std::wstring::npos)
          << text::toUtf8(name) << ": " << text::toUtf8(why);
    }
  }
  EXPECT_GT(accepted, 100u);  // COM10, CONSOLE, NULL_, 255 units ...
}

TEST(WindowsNames, PlainAndInternationalNamesPass) {
  for (const std::wstring_view name :
       {L"Aerolith.exe", L"a b.txt", L".hidden", L"J\u00e9r\u00f4me \u65e5\u672c",
        L"\U0001F600 astral", L"CONSOLE.txt", L"COM10", L"LPT\u2074", L"x.CON"}) {
    EXPECT_EQ(windowsNameProblem(name), L"") << name.size();
  }
  EXPECT_EQ(windowsNameProblem(std::wstring(kLongestWindowsName, L'a')), L"");
}

TEST(WindowsNames, WhatWindowsCannotHoldIsNamed) {
  for (const wchar_t c : std::wstring_view(L"<>\"|?*")) {
    const std::wstring name = std::wstring(L"a") + c + L"b";
    EXPECT_NE(windowsNameProblem(name).find(L"cannot hold"), std::wstring::npos)
        << static_cast<int>(c);
  }
  EXPECT_NE(windowsNameProblem(L"a:b").find(L"':', which names a drive"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(L"a\\b").find(L"path separator"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(L"tab\there").find(L"U+0009"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(std::wstring(L"nul\0x", 5)).find(L"U+0000"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(L"end.").find(L"period"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(L"end ").find(L"space"), std::wstring::npos);
  for (const std::wstring_view reserved : {L"CON", L"con.txt", L"Nul", L"aux.tar.gz", L"COM1",
                                           L"lpt9.log", L"COM0", L"com\u00B9", L"CONIN$"}) {
    EXPECT_NE(windowsNameProblem(reserved).find(L"reserved for a device"), std::wstring::npos);
  }
  EXPECT_NE(windowsNameProblem(L"..").find(L"only dots and spaces"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(L"").find(L"empty"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(std::wstring(kLongestWindowsName + 1, L'a')).find(L"256 UTF-16"),
            std::wstring::npos);
  std::wstring loneSurrogate = L"a";
  loneSurrogate += static_cast<wchar_t>(0xDC00);
  EXPECT_NE(windowsNameProblem(loneSurrogate).find(L"UTF-16"), std::wstring::npos);
}

}  // namespace
}  // namespace aerolith::pack
