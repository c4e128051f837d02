// The updater's naming rules: fetched files' URLs and paths, the hand-over's files, program
// names and the desktop copy's source name.
#include <gtest/gtest.h>

#include "file_rules.h"

namespace orv::updater {
namespace {

TEST(ListedFileLocation, EmptySubfoldersGiveDoubleSeparators) {
  const auto manifest =
      listedFileLocation(L"http://u.example/upd/", L"C:\\dl", L"Digest.xml", L"", L"");
  EXPECT_EQ(manifest.url, L"http://u.example/upd///Digest.xml");
  EXPECT_EQ(manifest.localPath, L"C:\\dl\\\\Digest.xml");
  const auto listed =
      listedFileLocation(L"http://u.example/upd", L"C:\\dl", L"a.dll", L"bin\\x", L"bin\\x");
  EXPECT_EQ(listed.url, L"http://u.example/upd/bin\\x/a.dll") << "backslashes stay in the URL";
  EXPECT_EQ(listed.localPath, L"C:\\dl\\bin\\x\\a.dll");
}

TEST(TargetFolder, IsTheTextBeforeTheLastBackslash) {
  EXPECT_EQ(targetFolderOf(L"C:\\dl\\\\Digest.xml"), L"C:\\dl\\");
  EXPECT_EQ(targetFolderOf(L"C:\\a\\b.bin"), L"C:\\a");
  EXPECT_EQ(targetFolderOf(L"b.bin"), L"");
}

TEST(LoaderPaths, NamesOfTheHandOver) {
  const auto p =
      loaderPaths(L"C:\\W\\loader", L"OrvalinexUpdate.exe", L"C:\\Program Files\\Orvalinex");
  EXPECT_EQ(p.fetchedLoader, L"C:\\W\\loader\\OrvalinexUpdate.exe");
  EXPECT_EQ(p.installedUpdater, L"C:\\Program Files\\Orvalinex\\OrvalinexUpdate.exe");
}

TEST(ProgramName, ComparesWithoutCase) {
  EXPECT_TRUE(sameProgramName(L"IEXPLORE.EXE", L"iexplore.exe"));
  EXPECT_TRUE(sameProgramName(L"orvalinexcore.exe", L"OrvalinexCore.exe"));
  EXPECT_FALSE(sameProgramName(L"OrvalinexCore.exe", L"OrvalinexCore.ex"));
  EXPECT_FALSE(sameProgramName(L"OrvalinexTray.exe", L"OrvalinexCore.exe"));
}

TEST(DesktopCopyNames, SplitAtTheFirstComma) {
  const auto names = splitDesktopCopyParameter(L"a.lnk,b,c.lnk");
  EXPECT_EQ(names.source, L"a.lnk");
  EXPECT_EQ(names.target, L"b,c.lnk");
  EXPECT_EQ(splitDesktopCopyParameter(L"a.lnk").target, L"");
}

TEST(DesktopCopyNames, X64GoesBeforeTheFirstDotUnderWow64Only) {
  EXPECT_EQ(desktopSourceName(L"setup.lnk", true), L"setup_x64.lnk");
  EXPECT_EQ(desktopSourceName(L"setup.lnk", false), L"setup.lnk");
  EXPECT_EQ(desktopSourceName(L"a.b.lnk", true), L"a_x64.b.lnk");
  EXPECT_EQ(desktopSourceName(L"setup", true), L"setup_x64");
}

}  // namespace
}  // namespace orv::updater
