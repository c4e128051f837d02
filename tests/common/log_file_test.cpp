// The Windows log writer on real files: its line, the bound with its one older generation, the
// break before a line a crash cut short, whole lines from threads writing at once, and a file
// that is not the log's own (a hard link) refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "log_file.h"
#include "log_rules.h"
#include "test_files.h"

namespace orv {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Under Wine every file is owned by this user.
constexpr FolderOwners kOwners = FolderOwners::kAdministratorsOrOwnUser;

std::vector<std::string> linesOf(const std::string& bytes) {
  std::vector<std::string> lines;
  std::istringstream in(bytes);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(LogFile, WritesOneWholeLineInTheInstallationsLogFolder) {
  TempDir installed;
  LogFile log(LogPlace::kInstallation, installed.wpath(), L"OrvalinexUpdate.exe", L"1.2.3.4",
              kOwners);
  EXPECT_EQ(log.path(), installed.wpath() + L"\\Logs\\OrvalinexUpdate.log");
  ASSERT_TRUE(log.write(L"-", L"U-302", L"the manifest's signature does not verify"));
  ASSERT_TRUE(log.write(L"3f9a01c2", L"-", L"second"));
  const std::string bytes = readFile(log.path());
  EXPECT_TRUE(std::regex_match(
      bytes, std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ 1\\.2\\.3\\.4 - U-302 the "
                        "manifest's signature does not verify\r\n"
                        "\\S+ 1\\.2\\.3\\.4 3f9a01c2 - second\r\n")))
      << bytes;
}

TEST(LogFile, AFullFileBecomesTheOlderGenerationAndTheOneBeforeGoes) {
  TempDir installed;
  LogFile log(LogPlace::kInstallation, installed.wpath(), L"OrvalinexCore.exe", L"1.0.0.0",
              kOwners);
  ASSERT_TRUE(log.write(L"-", L"-", L"made the folder"));
  const std::string first = std::string(kLogBound - 20, 'a') + "\r\n";
  writeFile(log.path(), first);
  ASSERT_TRUE(log.write(L"-", L"-", L"past the bound"));
  EXPECT_EQ(readFile(log.olderPath()), first);
  ASSERT_EQ(linesOf(readFile(log.path())).size(), 1u);
  EXPECT_NE(readFile(log.path()).find("past the bound\r\n"), std::string::npos);

  // The next full file takes the older generation's place; the first is gone.
  const std::string second = std::string(kLogBound - 20, 'b') + "\r\n";
  writeFile(log.path(), second);
  ASSERT_TRUE(log.write(L"-", L"-", L"past it again"));
  EXPECT_EQ(readFile(log.olderPath()), second);
  EXPECT_NE(readFile(log.path()).find("past it again\r\n"), std::string::npos);
  // A file below the bound takes the line.
  ASSERT_TRUE(log.write(L"-", L"-", L"one more"));
  EXPECT_EQ(linesOf(readFile(log.path())).size(), 2u);
  EXPECT_EQ(readFile(log.olderPath()), second);
}

TEST(LogFile, ALineCutShortByACrashIsEndedBeforeTheNextOne) {
  TempDir local;
  LogFile log(LogPlace::kUser, local.wpath(), L"OstwinAutoCtrl.dll", L"1.0.0.0");
  EXPECT_EQ(log.path(), local.wpath() + L"\\Orvalinex\\Logs\\OstwinAutoCtrl.log");
  ASSERT_TRUE(log.write(L"-", L"-", L"made the folders"));
  writeFile(log.path(), "2024-05-01T07:04:09Z 1.0.0.0 - - cut sh");
  ASSERT_TRUE(log.write(L"-", L"-", L"next"));
  const std::vector<std::string> lines = linesOf(readFile(log.path()));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "2024-05-01T07:04:09Z 1.0.0.0 - - cut sh\r");
  EXPECT_NE(lines[1].find(" next\r"), std::string::npos);
}

TEST(LogFile, LinesFromThreadsWritingAtOnceStayWhole) {
  TempDir local;
  LogFile log(LogPlace::kUser, local.wpath(), L"OrvalinexTray.exe", L"1.0.0.0");
  constexpr int kThreads = 4, kLines = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i)
        log.write(L"-", L"-", L"thread " + std::to_wstring(t) + L" line " + std::to_wstring(i));
    });
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> lines = linesOf(readFile(log.path()));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  for (const std::string& line : lines)
    EXPECT_TRUE(std::regex_match(line, std::regex("\\S+ 1\\.0\\.0\\.0 - - thread \\d line \\d+\r")))
        << line;
}

TEST(LogFile, AFileWithASecondNameIsNotWrittenThrough) {
  TempDir local;
  LogFile log(LogPlace::kUser, local.wpath(), L"OrvalinexTray.exe", L"1.0.0.0");
  ASSERT_TRUE(log.write(L"-", L"-", L"made the folders"));
  ASSERT_TRUE(DeleteFileW(log.path().c_str()));
  const std::wstring other = local.wpath() + L"\\other.txt";
  writeFile(other, "someone else's\r\n");
  if (!CreateHardLinkW(log.path().c_str(), other.c_str(), nullptr))
    GTEST_SKIP() << "no hard links here (error " << GetLastError() << ")";
  EXPECT_FALSE(log.write(L"-", L"-", L"never here"));
  EXPECT_EQ(readFile(other), "someone else's\r\n");
}

}  // namespace
}  // namespace orv
