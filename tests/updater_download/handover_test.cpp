// The loader hand-over with real files and processes: the test program handover_probe, installed
// under the updater's file name, performs it as the updater does and fetches its successor from
// the loopback server.
#include <windows.h>

#include <gtest/gtest.h>

#include "file_manifest.h"
#include "loopback.h"
#include "processes.h"
#include "test_files.h"

namespace orv::updater {
namespace {

namespace fs = std::filesystem;
using test::fileThere;
using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr wchar_t kUpdater[] = L"OrvalinexUpdate.exe";

class HandOverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    probeBytes = readFile(test::hostPath(ORV_HANDOVER_PROBE));
    // The successor: the same program with bytes appended, so that it can be told apart.
    newBytes = probeBytes + "successor " + std::to_string(GetTickCount());
    install = dir / "Program Files" / "Orvalinex";
    temp = dir / "temp";
    fs::create_directories(install);
    fs::create_directories(temp);
    writeFile(install / kUpdater, probeBytes);
    static int n = 0;
    folder = "handover" + std::to_string(++n) + "-" + std::to_string(GetCurrentProcessId());
    writeFile(test::servedFolder() / folder / kUpdater, newBytes);
    servedCopy = test::servedFolder() / folder / kUpdater;
  }

  // Runs the installed updater's hand-over; its exit code.
  long runHandOver(const std::wstring& digest, const wchar_t* extra = L"") {
    const std::wstring base =
        test::serverBase("http") + L"files/" + std::wstring(folder.begin(), folder.end());
    const std::wstring cmd = L"\"" + (install / kUpdater).wstring() + L"\" handover \"" + base +
                             L"\" \"" + temp.wstring() + L"\\\\\" \"" + install.wstring() + L"\" " +
                             digest + L" " + extra;
    return test::runProcess(cmd, 120000);
  }

  // A started new copy runs from the installed updater's file until it has written its line: with
  // no such process now, a missing line means it was never started.
  void expectNoNewCopyStarted() {
    EXPECT_FALSE(test::runsFrom((install / kUpdater).wstring()));
    EXPECT_FALSE(fileThere(install / "newloader-calls.txt"));
  }

  TempDir dir;
  fs::path install, temp, servedCopy;
  std::string folder, probeBytes, newBytes;
};

TEST_F(HandOverTest, RetiresTheRunningUpdaterAndStartsTheFetchedOneWithNewLoader) {
  EXPECT_EQ(runHandOver(fileDigest(servedCopy.wstring())), 2);

  EXPECT_EQ(readFile(temp / kUpdater), newBytes);
  EXPECT_EQ(readFile(temp / "retired"), probeBytes)
      << "the running program's own file moved to the name it was given";
  EXPECT_FALSE(fileThere(install / (std::wstring(kUpdater) + L".old"))) << "nothing beside it";
  EXPECT_EQ(readFile(install / kUpdater), newBytes);

  const fs::path calls = install / "newloader-calls.txt";
  // The new copy's line is complete with its line end.
  std::wstring line;
  ASSERT_TRUE(test::waitUntil([&] {
    line = test::readWideFile(calls);
    return !line.empty() && line.back() == L'\n';
  })) << "the new copy was not started";
  EXPECT_NE(line.find(L" -newloader"), std::wstring::npos) << std::string(line.begin(), line.end());
}

TEST_F(HandOverTest, FetchedLoaderWithAnotherDigestChangesNothing) {
  EXPECT_EQ(runHandOver(fileDigest(test::hostPath(ORV_STAND_IN_PROGRAM).wstring())), 1);
  EXPECT_EQ(readFile(install / kUpdater), probeBytes);
  EXPECT_FALSE(fileThere(temp / "retired"));
  expectNoNewCopyStarted();
}

// A program holding the updater's file open without delete sharing cannot block updates for
// good: this hand-over fails with nothing changed, the next one (once it let go) goes through.
// A file at the retired name is never replaced.
TEST_F(HandOverTest, AFileThatCannotBeRetiredFailsTheHandOverUntilItCan) {
  const fs::path held = dir / "held", letGo = dir / "let-go";
  const test::Process holding =
      test::startProgram(test::hostPath(ORV_FILE_HOLDER).wstring(),
                         L"\"" + (install / kUpdater).wstring() + L"\" \"" + held.wstring() +
                             L"\" \"" + letGo.wstring() + L"\"");
  ASSERT_TRUE(test::waitForFile(held, 30000)) << "the holder did not hold the file";
  EXPECT_EQ(runHandOver(fileDigest(servedCopy.wstring())), 1);
  EXPECT_EQ(readFile(install / kUpdater), probeBytes);
  EXPECT_FALSE(fileThere(temp / "retired"));
  expectNoNewCopyStarted();
  writeFile(letGo, "");
  EXPECT_EQ(test::waitForExit(holding, 30000), 0u);

  writeFile(temp / "retired", "planted");
  fs::remove(temp / kUpdater);
  EXPECT_EQ(runHandOver(fileDigest(servedCopy.wstring())), 1);
  EXPECT_EQ(readFile(temp / "retired"), "planted");
  EXPECT_EQ(readFile(install / kUpdater), probeBytes);

  fs::remove(temp / "retired");
  fs::remove(temp / kUpdater);
  EXPECT_EQ(runHandOver(fileDigest(servedCopy.wstring())), 2);
  EXPECT_EQ(readFile(install / kUpdater), newBytes);
}

// The new copy is fetched into a file made new: whatever stands at its name stays as it is.
TEST_F(HandOverTest, AFileAtTheFetchedNameIsNeitherWrittenNorInstalled) {
  writeFile(temp / kUpdater, "planted");
  EXPECT_EQ(runHandOver(fileDigest(servedCopy.wstring())), 1);
  EXPECT_EQ(readFile(temp / kUpdater), "planted");
  EXPECT_EQ(readFile(install / kUpdater), probeBytes);
}

TEST_F(HandOverTest, WithoutListedDigestNothingIsInstalled) {
  EXPECT_EQ(runHandOver(L"\"\""), 1);
  EXPECT_EQ(readFile(install / kUpdater), probeBytes);
  EXPECT_FALSE(fileThere(temp / "retired"));
}

TEST_F(HandOverTest, FailedCopyPutsTheRunningUpdaterBack) {
  EXPECT_EQ(runHandOver(fileDigest(servedCopy.wstring()), L"occupy"), 1);
  EXPECT_EQ(readFile(install / kUpdater), probeBytes) << "the installation keeps its updater";
  EXPECT_FALSE(fileThere(temp / "retired"));
  expectNoNewCopyStarted();
}

TEST_F(HandOverTest, FailedFetchLeavesTheInstallationAlone) {
  fs::remove(servedCopy);
  EXPECT_EQ(runHandOver(fileDigest(test::hostPath(ORV_HANDOVER_PROBE).wstring())), 1);
  EXPECT_EQ(readFile(install / kUpdater), probeBytes);
  EXPECT_FALSE(fileThere(temp / "retired"));
}

// Failures are named on the debugger output with the Win32 error at the point of failure.
TEST_F(HandOverTest, TracesFailuresToTheDebugger) {
  // Nothing listens on port 1: every HTTPS attempt fails to connect.
  const std::wstring cmd = L"\"" + (install / kUpdater).wstring() +
                           L"\" handover https://127.0.0.1:1/x \"" + temp.wstring() + L"\\\\\" \"" +
                           install.wstring() + L"\" " + fileDigest(servedCopy.wstring());
  const std::string out = test::debugOutputOf(cmd);
  EXPECT_NE(out.find("Orvalinex DownloadFile_Https: HttpSendRequest failed, error 12029"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Orvalinex DownloadOneFile: DownloadOneFile failed: https://127.0.0.1:1/x/"),
            std::string::npos)
      << out;

  const std::wstring wrong = L"\"" + (install / kUpdater).wstring() + L"\" handover \"" +
                             test::serverBase("http") + L"files/" +
                             std::wstring(folder.begin(), folder.end()) + L"\" \"" +
                             temp.wstring() + L"\\\\\" \"" + install.wstring() + L"\" AAAA";
  EXPECT_NE(test::debugOutputOf(wrong).find(
                "Orvalinex loaderHandOver: the fetched loader's digest is not the listed one"),
            std::string::npos);
  EXPECT_EQ(readFile(install / kUpdater), probeBytes);
}

}  // namespace
}  // namespace orv::updater
