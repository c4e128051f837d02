// Finding, stopping and running programs with real processes under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "file_manifest.h"
#include "loopback.h"
#include "process_control.h"
#include "processes.h"
#include "test_files.h"
#include "scoped_handle.h"

namespace orv::updater {
namespace {

namespace fs = std::filesystem;
using test::fileThere;
using test::readFile;
using test::TempDir;
using test::writeFile;

// A copy of the stand-in program under the given name that stays alive until stopped.
ScopedHandle startStayingCopy(const fs::path& folder, const std::wstring& name) {
  fs::create_directories(folder);
  fs::copy_file(test::hostPath(ORV_STAND_IN_PROGRAM), folder / name);
  writeFile(folder / "stay.txt", "");
  test::Process copy = test::startProgram((folder / name).wstring(), L"");
  test::waitForFile(folder / "ran.txt", 10000);
  return std::move(copy.handle);
}

DWORD exitCodeOf(HANDLE process) {
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return code;
}

TEST(StopProgram, OneCallStopsOneOfTwoCoreHostsWithMinusNine) {
  TempDir dir;
  ScopedHandle first = startStayingCopy(dir / "a", L"OrvalinexCore.exe");
  ScopedHandle second = startStayingCopy(dir / "b", L"OrvalinexCore.exe");
  ASSERT_TRUE(first && second);
  EXPECT_NE(findProgram(L"OrvalinexCore.exe"), 0u);

  stopProgram(L"orvalinexcore.exe");
  HANDLE both[] = {first.get(), second.get()};
  const DWORD ended = WaitForMultipleObjects(2, both, FALSE, 10000);
  ASSERT_LT(ended, WAIT_OBJECT_0 + 2) << "neither process was stopped";
  HANDLE stopped = both[ended - WAIT_OBJECT_0];
  HANDLE other = both[1 - (ended - WAIT_OBJECT_0)];
  EXPECT_EQ(exitCodeOf(stopped), kStoppedExitCode);
  EXPECT_EQ(WaitForSingleObject(other, 1000), static_cast<DWORD>(WAIT_TIMEOUT))
      << "one call stops only the first match";

  stopProgram(L"OrvalinexCore.exe");
  ASSERT_EQ(WaitForSingleObject(other, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(exitCodeOf(other), kStoppedExitCode);
  EXPECT_EQ(findProgram(L"OrvalinexCore.exe"), 0u);
  stopProgram(L"OrvalinexCore.exe");  // nothing left: silent
}

TEST(StopProgram, UpperCaseProcessNameMatches) {
  TempDir dir;
  ScopedHandle upper = startStayingCopy(dir / "c", L"ORVALINEXCORE.EXE");
  ASSERT_TRUE(upper);
  EXPECT_EQ(findProgram(L"OrvalinexCore.exe"), GetProcessId(upper.get()));
  stopProgram(L"OrvalinexCore.exe");
  ASSERT_EQ(WaitForSingleObject(upper.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(exitCodeOf(upper.get()), kStoppedExitCode);
  EXPECT_EQ(findProgram(L"iexplore-not-running.exe"), 0u);
}

class RunAndWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = dir / "set up";  // a blank: the path is quoted when started
    fs::create_directories(folder);
    program = folder / "setup program.exe";
    fs::copy_file(test::hostPath(ORV_STAND_IN_PROGRAM), program);
  }
  TempDir dir;
  fs::path folder, program;
};

TEST_F(RunAndWaitTest, RunsTheListedProgramToItsEnd) {
  EXPECT_TRUE(runAndWait(program.wstring(), fileDigest(program.wstring())));
  ASSERT_TRUE(fileThere(folder / "ran.txt")) << "waited until the program had run";
  const std::wstring line = test::readWideFile(folder / "ran.txt");
  EXPECT_EQ(line, L"\"" + program.wstring() + L"\"\n") << "the path alone, quoted";
}

TEST_F(RunAndWaitTest, RefusesAProgramWithAnotherDigest) {
  writeFile(dir / "other.exe", "other");
  EXPECT_FALSE(runAndWait(program.wstring(), fileDigest((dir / "other.exe").wstring())));
  EXPECT_FALSE(runAndWait(program.wstring(), L""));
  EXPECT_FALSE(runAndWait((folder / "absent.exe").wstring(), fileDigest(program.wstring())));
  EXPECT_FALSE(fileThere(folder / "ran.txt"));
}

// Between its check and its start the program cannot be replaced, renamed, deleted or written:
// the checked file is what runs. (The attempts come from this process through other handles;
// sharing rules apply per handle.)
TEST_F(RunAndWaitTest, RefusesToLetTheCheckedProgramBeReplaced) {
  const std::string original = readFile(program);
  writeFile(dir / "swap.exe", "not the listed program");
  bool tried = false;
  EXPECT_TRUE(runAndWait(program.wstring(), fileDigest(program.wstring()), [&] {
    tried = true;
    EXPECT_FALSE(MoveFileExW((dir / "swap.exe").wstring().c_str(), program.wstring().c_str(),
                             MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileW(program.wstring().c_str()));
    EXPECT_FALSE(MoveFileW(program.wstring().c_str(), (dir / "moved.exe").wstring().c_str()));
    ScopedHandle writer(CreateFileW(program.wstring().c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer.valid());
  }));
  EXPECT_TRUE(tried);
  EXPECT_EQ(readFile(program), original);
  EXPECT_TRUE(fileThere(folder / "ran.txt"));
  // Once the run is over the file is free again.
  EXPECT_TRUE(MoveFileExW((dir / "swap.exe").wstring().c_str(), program.wstring().c_str(),
                          MOVEFILE_REPLACE_EXISTING));
}

TEST_F(RunAndWaitTest, StartProgramDoesNotWait) {
  writeFile(folder / "stay.txt", "");
  const auto before = GetTickCount();
  EXPECT_TRUE(startProgram(program.wstring()));
  EXPECT_LT(GetTickCount() - before, 30000u);
  ASSERT_TRUE(test::waitForFile(folder / "ran.txt", 10000));
  EXPECT_NE(findProgram(L"setup program.exe"), 0u);
  stopProgram(L"setup program.exe");
  EXPECT_FALSE(startProgram((folder / "absent.exe").wstring()));
}

}  // namespace
}  // namespace orv::updater
