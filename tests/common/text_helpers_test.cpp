#include <gtest/gtest.h>

#include "ansi_text.h"
#include "base64.h"
#include "command_line.h"

namespace orv {
namespace {

std::string b64(const std::string& s) {
  return base64Encode(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

TEST(Base64, MatchesTheStandardAlphabetAndPadding) {
  EXPECT_EQ(b64(""), "");
  EXPECT_EQ(b64("f"), "Zg==");
  EXPECT_EQ(b64("fo"), "Zm8=");
  EXPECT_EQ(b64("foo"), "Zm9v");
  EXPECT_EQ(b64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(b64("\xfb\xff\xbf"), "+/+/");
}

TEST(Base64, DigestOfTwentyZeroBytesIs27LettersAThenPadding) {
  const unsigned char zero[20] = {};
  EXPECT_EQ(base64Digest(zero), std::string(27, 'A') + "=");
  unsigned char ones[20];
  for (auto& b : ones) b = 0xFF;
  const std::string d = base64Digest(ones);
  EXPECT_EQ(d.size(), 28u);
  EXPECT_EQ(d.back(), '=');
}

std::vector<std::wstring> split(const std::wstring& text) {
  std::vector<std::wstring> args;
  EXPECT_TRUE(splitCommandLine(text, args));
  return args;
}

TEST(SplitCommandLine, BlanksAndTabsAroundOptionsGiveExactlyTheOptions) {
  EXPECT_EQ(split(L"   -t \t  -new \t "), (std::vector<std::wstring>{L"-t", L"-new"}));
}

TEST(SplitCommandLine, EmptyTextAppendsNothingAndFails) {
  std::vector<std::wstring> args{L"kept"};
  EXPECT_FALSE(splitCommandLine(L"", args));
  EXPECT_EQ(args, std::vector<std::wstring>{L"kept"});
}

TEST(SplitCommandLine, AppendsToWhatTheListHolds) {
  std::vector<std::wstring> args{L"first"};
  EXPECT_TRUE(splitCommandLine(L"second", args));
  EXPECT_EQ(args, (std::vector<std::wstring>{L"first", L"second"}));
}

TEST(SplitCommandLine, QuotesGroupBlanksAndHaveNoEscapes) {
  EXPECT_EQ(
      split(L"\"C:\\Program Files\\Orvalinex\\OrvalinexCore.exe\" -key"),
      (std::vector<std::wstring>{L"C:\\Program Files\\Orvalinex\\OrvalinexCore.exe", L"-key"}));
  // A backslash before a quote does not escape it.
  EXPECT_EQ(split(L"\"a\\\" b"), (std::vector<std::wstring>{L"a\\", L"b"}));
}

TEST(SplitCommandLine, UnterminatedQuoteRunsToTheEnd) {
  EXPECT_EQ(split(L"-t \"rest of  the text"),
            (std::vector<std::wstring>{L"-t", L"rest of  the text"}));
}

TEST(SplitCommandLine, EmptyOrBlankQuotedArgumentsAreSkipped) {
  EXPECT_EQ(split(L"a \"\" \" \t \" b"), (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_EQ(split(L"\"   "), std::vector<std::wstring>{});
}

TEST(SplitCommandLine, TextRightBehindAClosingQuoteStartsTheNextArgument) {
  EXPECT_EQ(split(L"\"a\"b"), (std::vector<std::wstring>{L"a", L"b"}));
  // A quote inside an unquoted argument is an ordinary character.
  EXPECT_EQ(split(L"x\"y z"), (std::vector<std::wstring>{L"x\"y", L"z"}));
}

// A program's start-up goes on ("run") or ends by its command line alone.
TEST(ReadProgramTokens, EmptyLinesEndAndBlankOnesEndWhereTokensAreRequired) {
  struct Case {
    const wchar_t* line;
    bool tokensRequired;
    bool run;
    std::size_t tokens;
  };
  const Case cases[] = {
      {nullptr, false, false, 0}, {L"", false, false, 0},       {L"", true, false, 0},
      {L" \t ", false, true, 0},  {L" \t ", true, false, 0},    {L"\"  \"", true, false, 0},
      {L"a.exe", true, true, 1},  {L"a.exe -t -new", false, true, 3},
  };
  for (const Case& c : cases) {
    std::vector<std::wstring> tokens;
    EXPECT_EQ(readProgramTokens(c.line, c.tokensRequired, tokens), c.run)
        << (c.line ? c.line : L"(null)") << " required " << c.tokensRequired;
    EXPECT_EQ(tokens.size(), c.tokens);
  }
}

TEST(AnsiText, RoundTripsAndKeepsEmbeddedLength) {
  EXPECT_EQ(toNarrow(L"Digest.xml"), "Digest.xml");
  EXPECT_EQ(toWide("Script\\CoreConfig.lua"), L"Script\\CoreConfig.lua");
  EXPECT_EQ(toNarrow(L""), "");
  EXPECT_EQ(toWide(""), L"");
}

}  // namespace
}  // namespace orv
