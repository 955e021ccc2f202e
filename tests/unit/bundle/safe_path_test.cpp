#include "bundle/safe_path.hpp"

#include <gtest/gtest.h>

namespace aerolith::bundle {
namespace {

struct Case {
  const wchar_t* directory;
  const wchar_t* name;
};

TEST(SafeEntryPath, AcceptsRelativeFoldersAndPlainNames) {
  for (const Case& c : std::initializer_list<Case>{
           {L"", L"Aerolith.exe"},
           {L"plugins", L"hidapi.dll"},
           {L"plugins\\x64\\sdk", L"relay.exe"},
           {L"plugins/x64", L"relay.exe"},
           {L"plugins\\", L"a.dll"},  // one trailing separator only ends the folder
           {L"a.b", L".hidden"},
           {L"...x", L"x.."},
           {L"console", L"CONFIG.INI"},  // device names only as a whole base name
           {L"COM10", L"lpt.dll"},
           {L"nul_", L"com"},
           {L"com\u00B9x", L"aux_"},
           {L"J\u00e9r\u00f4me", L"\U0001F600.txt"},
       }) {
    EXPECT_TRUE(isSafeEntryPath(c.directory, c.name)) << c.directory << L" | " << c.name;
  }
}

TEST(SafeEntryPath, RefusesWhatCouldLeaveTheInstallDirectory) {
  for (const Case& c : std::initializer_list<Case>{
           // Roots, drives and shares.
           {L"\\", L"a.dll"},
           {L"/", L"a.dll"},
           {L"\\Windows", L"a.dll"},
           {L"/etc", L"a.dll"},
           {L"\\\\server\\share", L"a.dll"},
           {L"\\\\?\\C:\\x", L"a.dll"},
           {L"C:", L"a.dll"},
           {L"C:x", L"a.dll"},
           {L"C:\\Windows", L"a.dll"},
           {L"", L"C:a.dll"},
           {L"", L"a.dll:stream"},
           // Climbing, and what Windows trims into climbing.
           {L"..", L"a.dll"},
           {L"a\\..\\..", L"a.dll"},
           {L"a/../b", L"a.dll"},
           {L".", L"a.dll"},
           {L"a\\.\\b", L"a.dll"},
           {L"a\\.. \\b", L"a.dll"},
           {L"a\\ \\b", L"a.dll"},
           {L"a\\...", L"a.dll"},
           {L"", L".."},
           {L"", L"."},
           {L"a", L"..."},
           {L"a", L". ."},
           // Empty components in the middle or after the one trailing separator.
           {L"a\\\\b", L"a.dll"},
           {L"a//b", L"a.dll"},
           {L"a\\\\", L"a.dll"},
           // Names that are not one component, or none.
           {L"", L"a\\b.dll"},
           {L"", L"a/b.dll"},
           {L"", L"\\a.dll"},
           {L"a", L""},
           // Devices, wherever they stand and however they are spelt.
           {L"", L"NUL"},
           {L"", L"nul.txt"},
           {L"", L"Con"},
           {L"", L"aux.tar.gz"},
           {L"", L"PRN "},
           {L"", L"com1"},
           {L"", L"LPT9.log"},
           {L"", L"com0"},
           {L"", L"COM\u00B2"},
           {L"", L"lpt\u00B3 .x"},
           {L"", L"CONIN$"},
           {L"", L"conout$"},
           {L"a\\NUL\\b", L"a.dll"},
           {L"com1.d", L"a.dll"},
       }) {
    EXPECT_FALSE(isSafeEntryPath(c.directory, c.name)) << c.directory << L" | " << c.name;
  }
}

}  // namespace
}  // namespace aerolith::bundle
