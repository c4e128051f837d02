// Own version text, folder removal, the desktop copy and the trace helper under Wine.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "file_ops.h"
#include "file_rules.h"
#include "file_system.h"
#include "folder_link.h"
#include "held_folder.h"
#include "loopback.h"
#include "process_util.h"
#include "product.h"
#include "test_files.h"
#include "trace.h"
#include "trust_store.h"
#include "scoped_handle.h"
#include "work_folder.h"

namespace orv::updater {
namespace {

namespace fs = std::filesystem;
using test::fileThere;
using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(OwnVersionText, IsTheFixedFileVersionOfTheRunningProgram) {
  TempDir dir;
  const fs::path out = dir / "version.txt";
  EXPECT_EQ(test::runProcess(L"\"" + test::hostPath(ORV_HANDOVER_PROBE).wstring() +
                                 L"\" version \"" + out.wstring() + L"\"",
                             60000),
            0);
  EXPECT_EQ(test::readWideFile(out), L"1.1.19.1223");
  EXPECT_EQ(fileVersionText(test::hostPath(ORV_STAND_IN_PROGRAM).wstring()), L"")
      << "no version resource";
  EXPECT_EQ(fileVersionText((dir / "absent.exe").wstring()), L"");
}

TEST(RemoveFolderTree, RemovesNestedFoldersAndFiles) {
  TempDir dir;
  const fs::path root = dir / "download";
  writeFile(root / "a.bin", "a");
  writeFile(root / "sub" / "b.bin", "b");
  writeFile(root / "sub" / "deeper" / "c.bin", "c");
  writeFile(root / ".hidden" / "d.bin", "d");
  fs::create_directories(root / "empty");
  writeFile(root /
                ".."
                "hidden" /
                "e.bin",
            "e");
  writeFile(root / "read-only.bin", "r");
  SetFileAttributesW((root / "read-only.bin").wstring().c_str(), FILE_ATTRIBUTE_READONLY);
  // Every name goes, those that begin with dots included.
  EXPECT_TRUE(removeFolderTree(root.wstring()));
  EXPECT_FALSE(fileThere(root));
}

TEST(RemoveFolderTree, FilePathOrMissingPathDeletesNothingAndSucceeds) {
  TempDir dir;
  writeFile(dir / "file.txt", "keep");
  EXPECT_TRUE(removeFolderTree((dir / "file.txt").wstring()));
  EXPECT_EQ(readFile(dir / "file.txt"), "keep");
  EXPECT_TRUE(removeFolderTree((dir / "absent").wstring()));
}

TEST(RemoveFolderTree, SkipsAFileInUseAndSaysSo) {
  TempDir dir;
  const fs::path root = dir / "download";
  writeFile(root / "busy.bin", "busy");
  writeFile(root / "free.bin", "free");
  writeFile(root / "sub" / "free2.bin", "free");
  ScopedHandle busy(CreateFileW((root / "busy.bin").wstring().c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(busy);
  EXPECT_FALSE(removeFolderTree(root.wstring())) << "the folder stays";
  EXPECT_TRUE(fileThere(root / "busy.bin"));
  EXPECT_FALSE(fileThere(root / "free.bin"));
  EXPECT_FALSE(fileThere(root / "sub"));
  busy.reset();
  EXPECT_TRUE(removeFolderTree(root.wstring()));
  EXPECT_FALSE(fileThere(root));
}

// A junction where the system makes one; under Wine 8 a Unix symbolic link (folder_link.h).
TEST(RemoveFolderTree, NeverEmptiesARootThatIsALink) {
  TempDir dir;
  writeFile(dir / "guarded" / "keep.txt", "keep");
  fs::create_directories(dir / "guarded" / "empty");
  const test::ScopedFolderLink link(dir / "download", dir / "guarded");
  ASSERT_FALSE(link.failed());
  if (!link.shownAsLink()) GTEST_SKIP() << "the system does not show this " << link.kindName();
  EXPECT_FALSE(removeFolderTree((dir / "download").wstring())) << link.kindName();
  EXPECT_EQ(readFile(dir / "guarded" / "keep.txt"), "keep");
  EXPECT_TRUE(fs::exists(dir / "guarded" / "empty"));

  // Below a real root, a link is at most removed itself (Wine opens only what it names: kept).
  writeFile(dir / "real" / "a.bin", "a");
  const test::ScopedFolderLink below(dir / "real" / "link", dir / "guarded");
  EXPECT_EQ(removeFolderTree((dir / "real").wstring()), !fileThere(dir / "real"));
  EXPECT_FALSE(fileThere(dir / "real" / "a.bin"));
  EXPECT_EQ(readFile(dir / "guarded" / "keep.txt"), "keep");
  EXPECT_TRUE(fs::exists(dir / "guarded" / "empty"));
}

// Wine keeps no security descriptors (files read back as owned by this user, with a DACL made from
// the Unix mode): there the folders are made and removed, and their descriptors, like the
// refusal of what other users could change, are shown only on Windows.
// The trusted metadata's folder is made and checked like the work folders' parent; its files are
// replaced whole through their handles, and a name that is not a plain file of one name is
// neither read nor written through.
TEST(TrustStore, KeepsWholeFilesInAFolderOfItsOwnAndFollowsNoLink) {
  TempDir dir;
  const auto owners = WorkFolderOwners::kAdministratorsOrOwnUser;
  writeFile(dir / "elsewhere" / kTrustFolderName, "a file where the folder belongs");
  EXPECT_FALSE(TrustStore::open((dir / "elsewhere").wstring(), owners));

  auto store = TrustStore::open(dir.wpath(), owners);
  ASSERT_TRUE(store);
  const fs::path folder = trustFolderOf(dir.wpath());
  if (folderSecuritySddl(folder.wstring()).rfind(L"O:BA", 0) == 0)
    EXPECT_EQ(folderSecuritySddl(folder.wstring()).rfind(L"O:BAD:P", 0), 0u);
  for (const std::string& bytes : {"first", "second, longer", ""}) {
    ASSERT_TRUE(store->write("root.json", bytes));
    EXPECT_EQ(store->read("root.json"), bytes);
  }
  EXPECT_FALSE(fileThere(folder / "root.json.new"));
  EXPECT_TRUE(store->remove("root.json"));
  EXPECT_FALSE(store->read("root.json"));
  EXPECT_TRUE(store->remove("root.json")) << "nothing there is no failure";

  // A hard link planted under a name: never read, and replaced by a file of its own.
  writeFile(dir / "outside.json", "planted");
  ASSERT_TRUE(CreateHardLinkW((folder / "timestamp.json").c_str(),
                              (dir / "outside.json").c_str(), nullptr));
  EXPECT_FALSE(store->read("timestamp.json"));
  ASSERT_TRUE(store->write("timestamp.json", "trusted"));
  EXPECT_EQ(store->read("timestamp.json"), "trusted");
  EXPECT_EQ(readFile(dir / "outside.json"), "planted");
}

TEST(WorkFolder, IsMadeNewWithAnAdministratorsOnlyDaclAndGoesWithEverythingInIt) {
  TempDir dir;
  const std::wstring parent = (dir / "UpdateWork").wstring();
  const auto owners = updater::WorkFolderOwners::kAdministratorsOrOwnUser;
  auto work = updater::WorkFolder::create(parent, owners);
  ASSERT_TRUE(work);
  auto second = updater::WorkFolder::create(parent, owners);
  ASSERT_TRUE(second);
  EXPECT_NE(work->path(), second->path()) << "a new name for every attempt";
  const bool keptHere = updater::folderSecuritySddl(parent).rfind(L"O:BA", 0) == 0;
  if (!keptHere) std::printf("[ NOTE     ] this system keeps no security descriptors\n");
  for (const std::wstring& folder : {parent, work->path()}) {
    if (!keptHere) break;
    const std::wstring sddl = updater::folderSecuritySddl(folder);
    EXPECT_EQ(sddl.rfind(L"O:BAD:P", 0), 0u) << std::string(sddl.begin(), sddl.end());
    for (const wchar_t* ace : {L"(A;OICI;FA;;;BA)", L"(A;OICI;FA;;;SY)"})
      EXPECT_NE(sddl.find(ace), std::wstring::npos) << std::string(sddl.begin(), sddl.end());
    EXPECT_EQ(std::count(sddl.begin(), sddl.end(), L'('), 2) << "no other entry";
  }
  const std::wstring file = work->path() + L"\\files\\a\\b.bin";
  ASSERT_TRUE(work->holdFolderOf(file));
  writeFile(file, "fetched");
  EXPECT_TRUE(work->remove());
  EXPECT_FALSE(fileThere(work->path()));
  EXPECT_TRUE(fileThere(second->path())) << "another attempt's folder stays while it runs";
  EXPECT_TRUE(second->remove());
  EXPECT_FALSE(fileThere(parent)) << "the parent goes with its last work folder";
}

TEST(WorkFolder, IsNeverMadeThroughALinkOrInPlaceOfAFile) {
  TempDir dir;
  writeFile(dir / "file", "a file where the parent belongs");
  const auto owners = updater::WorkFolderOwners::kAdministratorsOrOwnUser;
  EXPECT_FALSE(updater::WorkFolder::create((dir / "file").wstring(), owners));
  writeFile(dir / "guarded" / "keep.txt", "keep");
  const test::ScopedFolderLink link(dir / "linked", dir / "guarded");
  ASSERT_FALSE(link.failed());
  if (!link.shownAsLink()) GTEST_SKIP() << "the system does not show this " << link.kindName();
  EXPECT_FALSE(updater::WorkFolder::create((dir / "linked").wstring(), owners));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "guarded"), fs::directory_iterator()), 1);
}

TEST(DesktopCopy, CopiesTheSourceForThisWindowsUnlessTheTargetIsThere) {
  TempDir dir;
  const fs::path program = dir / "program";
  const fs::path desktop = dir / "desktop";
  writeFile(program / "a.lnk", "32-bit shortcut");
  writeFile(program / "a_x64.lnk", "64-bit shortcut");
  fs::create_directories(desktop);
  const std::wstring programFolder = program.wstring() + L"\\";

  desktopCopyBetween(L"a.lnk,b.lnk", programFolder, desktop.wstring(), true);
  EXPECT_EQ(readFile(desktop / "b.lnk"), "64-bit shortcut");
  desktopCopyBetween(L"a.lnk,b.lnk", programFolder, desktop.wstring(), false);
  EXPECT_EQ(readFile(desktop / "b.lnk"), "64-bit shortcut") << "an existing target stays";
  desktopCopyBetween(L"a.lnk,c.lnk", programFolder, desktop.wstring(), false);
  EXPECT_EQ(readFile(desktop / "c.lnk"), "32-bit shortcut");
  desktopCopyBetween(L"missing.lnk,d.lnk", programFolder, desktop.wstring(), false);
  EXPECT_FALSE(fileThere(desktop / "d.lnk"));
}

// The real thing: the all-users desktop and this program's folder. A 32-bit test program on
// 64-bit Windows (or Wine) runs under WOW64 and so copies the "_x64" source; a 64-bit one takes
// the name as given.
TEST(DesktopCopy, CopiesFromTheProgramFolderToTheAllUsersDesktop) {
  const bool wow64 = runsUnderWow64();
  EXPECT_EQ(wow64, sizeof(void*) == 4);
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, TRUE));
  const std::wstring tag = std::to_wstring(GetCurrentProcessId());
  const std::wstring name = L"orv-desktop-source-" + tag + L".lnk";
  const fs::path source = moduleDirectory() + desktopSourceName(name, wow64);
  const fs::path target = std::wstring(desktop) + L"\\orv-desktop-target-" + tag + L".lnk";
  writeFile(source, "shortcut");
  desktopCopy(name + L"," + target.filename().wstring());
  EXPECT_EQ(readFile(target), "shortcut");
  fs::remove(source);
  fs::remove(target);
}

TEST(Trace, RecordsTheLastErrorAndLeavesIt) {
  EXPECT_EQ(failureTraceText(L"DownloadFile_Https", L"HttpSendRequest", 12029),
            L"DownloadFile_Https: HttpSendRequest failed, error 12029");
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(traceFailure(L"test", L"CreateFile"), static_cast<unsigned long>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
}  // namespace orv::updater
