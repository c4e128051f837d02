// The log's rules: what a line holds, when a file is full, the break before a line cut short,
// and what a logged command line keeps.
#include <gtest/gtest.h>

#include "log_rules.h"

namespace orv {
namespace {

constexpr LogTime kTime{2024, 5, 1, 7, 4, 9};

TEST(LogLine, HoldsTimeVersionAttemptCodeAndTextAsOneLine) {
  struct Case {
    std::wstring version, attempt, code, text;
    std::string line;
  } cases[] = {
      {L"1.2.0.0", L"3f9a01c2", L"U-302", L"manifest refused",
       "2024-05-01T07:04:09Z 1.2.0.0 3f9a01c2 U-302 manifest refused\r\n"},
      {L"", L"", L"", L"start", "2024-05-01T07:04:09Z - - - start\r\n"},
      // Fields stay one word each; no text breaks the line.
      {L"1 2", L"-", L"T 2", L"a\r\nb\tc", "2024-05-01T07:04:09Z 1_2 - T_2 a  b c\r\n"},
      {L"1.0.0.0", L"-", L"-", L"文件",
       "2024-05-01T07:04:09Z 1.0.0.0 - - \xe6\x96\x87\xe4\xbb\xb6\r\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(logLine(kTime, c.version, c.attempt, c.code, c.text), c.line);
}

TEST(LogLine, TextEndsAtItsLimit) {
  const std::wstring text = logText(std::wstring(kLogTextLimit + 50, L'x'));
  EXPECT_EQ(text, std::wstring(kLogTextLimit, L'x') + L"...");
  EXPECT_EQ(logText(std::wstring(kLogTextLimit, L'y')), std::wstring(kLogTextLimit, L'y'));
}

TEST(LoggedOptions, KeepOnlyTheOptionsWithoutTheirValues) {
  struct Case {
    std::vector<std::wstring> tokens;
    std::wstring logged;
  } cases[] = {
      {{L"C:\\Orvalinex\\OrvalinexUpdate.exe", L"-lostfile"}, L"-lostfile"},
      {{L"prog.exe", L"-t", L"-new"}, L"-t -new"},
      {{L"prog.exe", L"-pin=123456", L"/key:secret", L"123456", L"C:\\secret.txt"}, L"-pin /key"},
      {{L"prog.exe"}, L"(none)"},
      {{}, L"(none)"},
  };
  for (const Case& c : cases) EXPECT_EQ(loggedOptions(c.tokens), c.logged);
}

TEST(LogBound, AFullFileGivesWayToAFreshOne) {
  struct Case {
    std::uint64_t size;
    std::size_t line;
    bool full;
  } cases[] = {
      {0, 100, false},                // an empty file takes any line
      {0, kLogBound + 1, false},      // even one past the bound: it is the file's only
      {kLogBound - 100, 100, false},  // exactly at the bound
      {kLogBound - 100, 101, true},   // one byte past it
      {kLogBound + 5000, 1, true},    // already past (written by an older program)
  };
  for (const Case& c : cases)
    EXPECT_EQ(logIsFull(c.size, c.line), c.full) << c.size << " " << c.line;
}

TEST(LogAppend, ALineCutShortIsEndedFirst) {
  EXPECT_EQ(logAppendBytes("x\r\n", 0, 0), "x\r\n");
  EXPECT_EQ(logAppendBytes("x\r\n", 10, '\n'), "x\r\n");
  EXPECT_EQ(logAppendBytes("x\r\n", 10, 'a'), "\r\nx\r\n");
  EXPECT_EQ(logAppendBytes("x\r\n", 10, '\r'), "\r\nx\r\n");
}

TEST(LogNames, OneFileAndItsOlderGenerationPerProgram) {
  EXPECT_EQ(logFileName(L"OrvalinexUpdate.exe"), L"OrvalinexUpdate.log");
  EXPECT_EQ(olderLogFileName(L"OrvalinexUpdate.exe"), L"OrvalinexUpdate.old.log");
  EXPECT_EQ(logFileName(L"OstwinAutoCtrl.dll"), L"OstwinAutoCtrl.log");
  EXPECT_EQ(attemptIdText(0x3f9a01c2), L"3f9a01c2");
  EXPECT_EQ(attemptIdText(7), L"00000007");
}

}  // namespace
}  // namespace orv
