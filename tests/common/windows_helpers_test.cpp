#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "ansi_text.h"
#include "dialog_menu.h"
#include "dll_search.h"
#include "file_system.h"
#include "held_folder.h"
#include "process_util.h"
#include "processes.h"
#include "test_files.h"
#include "scoped_handle.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

TEST(AnsiCodePage, CharactersOutsideTheCodePageBecomeItsDefaultCharacter) {
  CPINFO info = {};
  ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
  EXPECT_EQ(toNarrow(L"Digest.xml"), "Digest.xml");
  // U+4E2D is in no single-byte code page; in a double-byte one it may be representable.
  if (info.MaxCharSize == 1) {
    EXPECT_EQ(toNarrow(L"a\u4E2Db"), std::string("a") + char(info.DefaultChar[0]) + "b");
  }
  const std::wstring back = toWide(toNarrow(L"caf\u00E9"));
  if (GetACP() == 1252) {
    EXPECT_EQ(back, L"caf\u00E9");
  }
  EXPECT_EQ(toWide(std::string("x\0y", 3)), std::wstring(L"x\0y", 3));
}

// A link on the way is refused by the same check that the folder removal's and the update
// flow's link tests show (tests/updater_download, tests/update_flow).
TEST(HeldFolders, MakesAndHoldsRealFoldersThenLetsThemGo) {
  test::TempDir dir;
  const std::wstring base = dir.wpath() + L"\\";
  HeldFolders held;
  ASSERT_TRUE(held.hold(base, base + L"\\a\\b"));
  EXPECT_TRUE(fs::is_directory(dir / "a" / "b"));
  EXPECT_FALSE(MoveFileW((dir / "a").c_str(), (dir / "moved").c_str())) << "held in place";
  held.release();
  EXPECT_TRUE(MoveFileW((dir / "a").c_str(), (dir / "moved").c_str()));
  EXPECT_TRUE(removeEmptyRealFolder((dir / "moved" / "b").wstring()));
  EXPECT_FALSE(fs::exists(dir / "moved" / "b"));
}

// Each question answers for the path itself (links: the folder removal's and the update flow's
// link tests, tests/updater_download and tests/update_flow).
TEST(FileSystem, QuestionsAnswerForThePathItself) {
  test::TempDir dir;
  test::writeFile(dir / "file.txt", "12345");
  fs::create_directories(dir / "folder");
  const struct {
    const char* name;
    bool exists, folder, realFolder;
  } rows[] = {{"absent", false, false, false},
              {"file.txt", true, false, false},
              {"folder", true, true, true}};
  for (const auto& row : rows) {
    const std::wstring path = (dir / row.name).wstring();
    EXPECT_EQ(pathExists(path), row.exists) << row.name;
    EXPECT_EQ(isFolder(path), row.folder) << row.name;
    EXPECT_EQ(isRealFolder(path), row.realFolder) << row.name;
    EXPECT_FALSE(isReparsePoint(path)) << row.name;
  }
  EXPECT_EQ(fileSize((dir / "file.txt").wstring()), std::optional<std::uint64_t>(5));
  EXPECT_FALSE(fileSize((dir / "absent").wstring()));
}

TEST(ModuleDirectory, IsTheProgramFolderWithItsSeparator) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const std::wstring dir = moduleDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), L'\\');
  EXPECT_EQ(std::wstring(self).rfind(dir, 0), 0u);
  EXPECT_EQ(std::wstring(self).find(L'\\', dir.size()), std::wstring::npos);
  EXPECT_EQ(directoryOfPath(L"C:\\A\\B\\prog.exe"), L"C:\\A\\B\\");
  EXPECT_EQ(directoryOfPath(L"prog.exe"), L"");
}

// Started as a child: writes its own command line, its current folder and whether the handle
// value it is given is open in it to the file it is given, then exits. The file appears under its
// name only once written and closed, so its appearance is the event to wait for.
int childMain(const std::wstring& out, const std::wstring& handle) {
  const std::wstring part = out + L".part";
  {
    ScopedHandle file(
        CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return 3;
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    DWORD flags = 0;
    const HANDLE parentHandle = reinterpret_cast<HANDLE>(std::wcstoull(handle.c_str(), nullptr, 10));
    const std::wstring line = std::wstring(GetCommandLineW()) + L"\n" + folder + L"\n" +
                              (GetHandleInformation(parentHandle, &flags) ? L"inherited" : L"none");
    DWORD written = 0;
    WriteFile(file.get(), line.data(), DWORD(line.size() * sizeof(wchar_t)), &written, nullptr);
  }
  return MoveFileW(part.c_str(), out.c_str()) ? 0 : 4;
}

std::wstring readWide(const fs::path& p) {
  const std::string bytes = test::readFile(p);
  return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                      bytes.size() / sizeof(wchar_t));
}

// The child starts in its own folder, not the caller's, and inherits none of the caller's handles,
// even one marked inheritable.
TEST(LaunchCommandLine, StartsAQuotedProgramPathWithBlanksInItsFolderWithoutHandles) {
  test::TempDir dir;
  const fs::path folder = dir / "Program Files" / "Orvalinex";
  fs::create_directories(folder);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path child = folder / "child.exe";
  fs::copy_file(self, child);
  const fs::path out = dir / "out.txt";
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  ScopedHandle event(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  const std::wstring command =
      quoteProgramPath(child.wstring()) + L" --gtest_filter=None --child-out \"" + out.wstring() +
      L"\" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(event.get()));
  ASSERT_TRUE(launchCommandLine(command));
  ASSERT_TRUE(test::waitUntil([&] { return fs::exists(out); }, 15000));
  EXPECT_EQ(readWide(out), command + L"\n" + folder.wstring() + L"\nnone");
}

TEST(LaunchCommandLine, ReportsAProgramThatCannotBeStarted) {
  EXPECT_FALSE(launchCommandLine(L"\"C:\\no such folder\\nothing.exe\" -lostfile"));
  EXPECT_EQ(quoteProgramPath(L"C:\\Program Files\\x.exe"), L"\"C:\\Program Files\\x.exe\"");
  EXPECT_EQ(quoteProgramPath(L"\"C:\\a.exe\""), L"\"C:\\a.exe\"");
}

// Once restricted, a library loaded by its bare name is looked for in the system folder and the
// program's own folder only: one in the current folder is found before, and no longer after.
TEST(DllSearch, TheCurrentFolderIsNoLongerSearched) {
  test::TempDir dir;
  const wchar_t name[] = L"orv_probe_library.dll";
  fs::copy_file(test::hostPath(ORV_PROBE_LIBRARY), dir.path() / name);
  const fs::path was = fs::current_path();
  fs::current_path(dir.path());
  {
    ScopedLibrary before(LoadLibraryW(name));
    ASSERT_TRUE(before) << "the copy loads from the current folder";
  }
  EXPECT_NE(restrictDllSearch(), DllSearch::kUnchanged);
  EXPECT_FALSE(ScopedLibrary(LoadLibraryW(name)));
  fs::current_path(was);
}

// A box is centred over an owner that is shown, and in the monitor's work area over a hidden owner
// at the screen's corner (the notifier's), or over one that reaches past the screen's edge.
TEST(CentreWindow, OverAShownOwnerElseInTheWorkArea) {
  RECT work = {};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  struct Case {
    RECT owner;
    bool shown;
    POINT centre;
  } cases[] = {
      {{100, 80, 700, 480}, true, {400, 280}},
      {{0, 0, 0, 0}, false, {(work.left + work.right) / 2, (work.top + work.bottom) / 2}},
      {{work.right - 100, 0, work.right + 500, 300}, true, {work.right + 200, 150}},
  };
  WNDCLASSW plain = {};
  plain.lpfnWndProc = DefWindowProcW;
  plain.hInstance = GetModuleHandleW(nullptr);
  plain.lpszClassName = L"OrvCentreTest";
  RegisterClassW(&plain);
  for (const Case& c : cases) {
    const HWND owner =
        CreateWindowExW(0, plain.lpszClassName, L"owner", WS_POPUP, c.owner.left, c.owner.top,
                        c.owner.right - c.owner.left, c.owner.bottom - c.owner.top, nullptr,
                        nullptr, plain.hInstance, nullptr);
    ASSERT_NE(owner, nullptr);
    if (c.shown) ShowWindow(owner, SW_SHOWNOACTIVATE);
    const HWND box = CreateWindowExW(0, plain.lpszClassName, L"box", WS_POPUP, 0, 0, 200, 100,
                                     owner, nullptr, plain.hInstance, nullptr);
    ASSERT_NE(box, nullptr);
    centreWindow(box, owner);
    RECT r = {};
    GetWindowRect(box, &r);
    const LONG expectedLeft = std::min<LONG>(c.centre.x - 100, work.right - 200);
    EXPECT_EQ(r.left, expectedLeft) << "owner at " << c.owner.left;
    EXPECT_EQ(r.top, c.centre.y - 50) << "owner at " << c.owner.left;
    DestroyWindow(box);
    DestroyWindow(owner);
  }
}

}  // namespace
}  // namespace orv

// The launch test starts this program again as its child.
int main(int argc, char** argv) {
  int wargc = 0;
  LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
  for (int i = 1; wargv && i + 2 < wargc; ++i) {
    if (std::wstring(wargv[i]) == L"--child-out") return orv::childMain(wargv[i + 1], wargv[i + 2]);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
