#include "pack/cli/arguments.hpp"

#include <gtest/gtest.h>

#include "pack/base/failure.hpp"

namespace aerolith::pack {
namespace {

constexpr std::wstring_view kValued[] = {L"--level", L"--output"};
constexpr std::wstring_view kFlags[] = {L"--strip", L"--force"};

Arguments parse(std::vector<std::wstring> args) { return parseArguments(args, kValued, kFlags); }

TEST(Arguments, SplitsPositionalArgumentsAndOptionValues) {
  const Arguments a = parse({L"in", L"--level", L"9", L"--strip", L"out", L"-o=x.exe"});
  EXPECT_EQ(a.positional, (std::vector<std::wstring>{L"in", L"out"}));
  EXPECT_TRUE(a.flag(L"--strip"));
  EXPECT_FALSE(parse({L"in"}).flag(L"--strip"));
  EXPECT_EQ(a.option(L"--level"), L"9");
  EXPECT_EQ(a.option(L"--output"), L"x.exe");  // -o stands for it
  EXPECT_TRUE(parse({L"-f"}).flag(L"--force"));
  EXPECT_EQ(a.option(L"--missing"), std::nullopt);
  EXPECT_FALSE(a.help);
  EXPECT_TRUE(parse({L"x", L"-h"}).help);
  EXPECT_TRUE(parse({L"--help"}).help);
  // "-" alone is a name; after "--" everything is.
  EXPECT_EQ(parse({L"-", L"--", L"--level", L"-h"}).positional,
            (std::vector<std::wstring>{L"-", L"--level", L"-h"}));
}

TEST(Arguments, UnknownOptionsAndMissingValuesAreUsageErrors) {
  EXPECT_THROW(parse({L"--colour"}), UsageError);
  EXPECT_THROW(parse({L"in", L"--level"}), UsageError);
  EXPECT_THROW(parse({L"--strip=yes"}), UsageError);
  const auto refusal = [](std::vector<std::wstring> args,
                          std::span<const std::wstring_view> valued) {
    try {
      parseArguments(args, valued);
    } catch (const UsageError& error) {
      return error.message();
    }
    return std::wstring(L"(accepted)");
  };
  EXPECT_EQ(refusal({L"--levels=3"}, kValued), L"unknown option '--levels'");
  // A short form is known only where its long form is, and named as typed.
  EXPECT_EQ(refusal({L"-o", L"x"}, {}), L"unknown option '-o'");
}

}  // namespace
}  // namespace aerolith::pack
