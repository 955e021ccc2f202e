// The tool's own small codecs: SHA-256, what kind of program a file is, and
// how names that are no valid Unicode are shown.
#include <gtest/gtest.h>

#include "pack/base/file_io.hpp"
#include "pack/base/sha256.hpp"
#include "pack/cli/shown_text.hpp"
#include "pack/image/program_kind.hpp"

namespace aerolith::pack {
namespace {

std::wstring digest(std::string_view text, std::size_t chunk) {
  Sha256 sha;
  for (std::size_t at = 0; at < text.size(); at += chunk) {
    const std::string_view part = text.substr(at, chunk);
    sha.add({reinterpret_cast<const std::uint8_t*>(part.data()), part.size()});
  }
  return sha.finishHex();
}

TEST(Sha256, GivesTheStandardDigestsHoweverTheBytesArrive) {
  EXPECT_EQ(digest("", 1), L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc", 1), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block's padding.
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  for (const std::size_t chunk : {1, 7, 64, 1000}) {
    EXPECT_EQ(digest(two, chunk),
              L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  }
  EXPECT_EQ(digest(std::string(1000000, 'a'), 4096),
            L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(ProgramKind, TellsWindowsX64FromOtherWindowsLinuxAndNoProgram) {
  std::vector<std::uint8_t> pe(0x40 + 26, 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  pe[0x3C] = 0x40;
  const std::uint8_t signature[] = {'P', 'E', 0, 0, 0x64, 0x86};
  std::copy(std::begin(signature), std::end(signature), pe.begin() + 0x40);
  pe[0x40 + 24] = 0x0B;
  pe[0x40 + 25] = 0x02;
  EXPECT_EQ(programKind(pe), ProgramKind::kWindowsX64);
  pe[0x40 + 24] = 0x0B;
  pe[0x40 + 25] = 0x01;  // PE32: a 32-bit image
  EXPECT_EQ(programKind(pe), ProgramKind::kWindowsOther);
  pe[0x3C] = 0xFF;  // the PE header would lie past the end
  EXPECT_EQ(programKind(pe), ProgramKind::kOther);
  const std::uint8_t elf[] = {0x7F, 'E', 'L', 'F'};
  EXPECT_EQ(programKind(elf), ProgramKind::kLinux);
  const std::uint8_t text[] = {'M', 'Z'};
  EXPECT_EQ(programKind(text), ProgramKind::kOther);
}

TEST(ShownNames, NoTwoNamesShowAlike) {
  EXPECT_EQ(escapeLoneSurrogates(std::wstring(L"a") + wchar_t(0xD800) + L".txt"), L"a\\uD800.txt");
  EXPECT_EQ(escapeLoneSurrogates(std::wstring(1, wchar_t(0xDC01))), L"\\uDC01");
  EXPECT_EQ(escapeLoneSurrogates(L"\uFFFD \U0001F600"), L"\uFFFD \U0001F600");
  if constexpr (std::is_same_v<std::filesystem::path::value_type, char>) {
    // A POSIX name is bytes: those that are no UTF-8 show as \xFF.
    EXPECT_EQ(shownPath(std::filesystem::path("bad\xFF\xC3\xA9\xED\xA0\x80.txt")),
              L"bad\\xFF\u00E9\\xED\\xA0\\x80.txt");
  }
}

}  // namespace
}  // namespace aerolith::pack
