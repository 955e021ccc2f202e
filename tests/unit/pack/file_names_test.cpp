#include "pack/file_names.hpp"

#include <gtest/gtest.h>

namespace aerolith::pack {
namespace {

TEST(WindowsNames, PlainAndInternationalNamesPass) {
  for (const std::wstring_view name :
       {L"Aerolith.exe", L"a b.txt", L".hidden", L"J\u00e9r\u00f4me \u65e5\u672c",
        L"\U0001F600 astral", L"CONSOLE.txt", L"COM0", L"LPT10", L"x.CON"}) {
    EXPECT_EQ(windowsNameProblem(name), L"") << name.size();
  }
}

TEST(WindowsNames, WhatWindowsCannotHoldIsNamed) {
  for (const wchar_t c : std::wstring_view(L"<>:\"/\\|?*")) {
    const std::wstring name = std::wstring(L"a") + c + L"b";
    EXPECT_NE(windowsNameProblem(name).find(L"cannot hold"), std::wstring::npos)
        << static_cast<int>(c);
  }
  EXPECT_NE(windowsNameProblem(L"tab\there").find(L"U+0009"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(std::wstring(L"nul\0x", 5)).find(L"U+0000"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(L"end.").find(L"period"), std::wstring::npos);
  EXPECT_NE(windowsNameProblem(L"end ").find(L"space"), std::wstring::npos);
  for (const std::wstring_view reserved :
       {L"CON", L"con.txt", L"Nul", L"aux.tar.gz", L"COM1", L"lpt9.log"}) {
    EXPECT_NE(windowsNameProblem(reserved).find(L"reserved"), std::wstring::npos);
  }
  EXPECT_NE(windowsNameProblem(L""), L"");
  EXPECT_NE(windowsNameProblem(L"."), L"");
  EXPECT_NE(windowsNameProblem(L".."), L"");
  std::wstring loneSurrogate = L"a";
  loneSurrogate += static_cast<wchar_t>(0xDC00);
  EXPECT_NE(windowsNameProblem(loneSurrogate).find(L"UTF-16"), std::wstring::npos);
}

}  // namespace
}  // namespace aerolith::pack
