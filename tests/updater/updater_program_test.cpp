// The updater's test build as a real process under Wine: its start-up rules, the hidden window
// and the show operation, the page-call message, window.external's answers, the About box and
// the ways the program ends. A probe stands in for the update flow (probe_flow.h); the stand-in
// page (updater_page.js) records every page call in page.log and answers as each test says.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "file_rules.h"
#include "process_util.h"
#include "processes.h"
#include "product.h"
#include "product_settings.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace orv::test {
namespace {

constexpr int kIdmAbout = 0x10;
constexpr int kAboutNameId = 1001;  // the About box's version line

class UpdaterProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path() / L"orv update";
    fs::create_directories(dir_);
    fs::copy_file(hostPath(ORV_UPDATER_TEST_HOST), dir_ / kUpdaterFileName);
  }
  void TearDown() override {
    for (auto& p : processes_) endIfRunning(*p);
  }

  // The stand-in page with `answers` (a JScript object literal) and `extra` script in front.
  void writePage(const std::string& answers = "{}", const std::string& extra = "") {
    writeFile(dir_ / "updater_page.html", "<html><head><script>\nvar answers = " + answers + ";\n" +
                                              extra + "\n" +
                                              readFile(hostPath(ORV_UPDATER_PAGE_JS)) +
                                              "</script></head><body></body></html>\n");
  }
  void writeProbe(const std::string& lines) { writeFile(dir_ / "flow_probe.txt", lines); }

  std::wstring program() const { return (dir_ / kUpdaterFileName).wstring(); }
  Process& start(const std::wstring& arguments = L"", bool raw = false) {
    processes_.push_back(std::make_unique<Process>(startProgram(program(), arguments, raw)));
    return *processes_.back();
  }

  std::string text(const char* file) const {
    return fs::exists(dir_ / file) ? readFile(dir_ / file) : std::string();
  }
  bool has(const char* file, const std::string& line) const {
    return ("\n" + text(file)).find("\n" + line + "\n") != std::string::npos;
  }
  bool waitFor(const char* file, const std::string& line, DWORD ms = 30000) const {
    return waitUntil([&] { return has(file, line); }, ms);
  }

  // The main dialog of `p`, visible or not.
  static HWND dialogOf(const Process& p) {
    HWND dialog = nullptr;
    waitUntil([&] {
      dialog = findTopLevelWindow(p.pid, L"#32770", kProductName);
      return dialog != nullptr;
    });
    return dialog;
  }

  // The captions of the dialogs of `pid`, for failure messages.
  static std::string dialogsOf(DWORD pid) {
    std::string out;
    for (HWND w : topLevelWindows(pid, L"#32770"))
      out += toUtf8(windowText(w)) + (IsWindowVisible(w) ? " (visible)\n" : " (hidden)\n");
    return out;
  }

  // Asks for the About box from the system menu and waits for it; null when it never showed.
  static HWND openAboutBox(const Process& p, HWND dialog) {
    PostMessageW(dialog, WM_SYSCOMMAND, kIdmAbout, 0);
    HWND about = nullptr;
    waitUntil([&] { return (about = findDialog(p.pid, L"关于 Brenlow")) != nullptr; }, 10000);
    return about;
  }

  TempDir temp_;
  fs::path dir_;
  std::vector<std::unique_ptr<Process>> processes_;
};

TEST_F(UpdaterProgramTest, WindowStaysHiddenUntilTheShowOperationThenSitsOnTopAtAThird) {
  writePage();
  writeProbe("sleep 1500\nshow 4\nsleep 300\nshow 5\n");
  Process& p = start();
  ASSERT_TRUE(waitFor("flow.log", "page ready")) << text("flow.log");
  HWND dialog = dialogOf(p);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowVisible(dialog));
  ASSERT_TRUE(waitFor("flow.log", "shown 4"));  // the show operation has returned
  EXPECT_FALSE(IsWindowVisible(dialog)) << "a code other than 5 shows nothing";
  ASSERT_TRUE(waitFor("flow.log", "shown 5"));
  ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 5000));

  RECT rect = {};
  GetWindowRect(dialog, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  EXPECT_EQ(width, 650);
  EXPECT_EQ(height, 150);
  EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 3);
  const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
  const LONG_PTR exStyle = GetWindowLongPtrW(dialog, GWL_EXSTYLE);
  EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
  EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE((style & WS_CAPTION) == WS_CAPTION);
  EXPECT_EQ(windowText(dialog), kProductName);
  HWND browser = GetDlgItem(dialog, 1002);
  ASSERT_NE(browser, nullptr);
  GetWindowRect(browser, &rect);
  EXPECT_EQ(rect.right - rect.left, 650);
}

TEST_F(UpdaterProgramTest, PageCallAnswersTheFunctionsBooleanElseOne) {
  writePage("{}",
            "function No(x) { host.log('No|' + x); return false; }\n"
            "function Yes() { return true; }\n"
            "function Five() { return 5; }\n"
            "function Throws() { throw new Error('no'); }\n");
  writeProbe(
      "call No some text\ncall Yes\ncall Five\ncall Missing x\ncall Throws\ncall a.b.No x\n"
      "call ShowTitle readyrun\ncall InitUpdate {\"downloadCount\":0}\n");
  Process& p = start();
  ASSERT_TRUE(waitFor("flow.log", "probe done")) << text("flow.log");
  EXPECT_EQ(
      text("flow.log"),
      "page ready\nresult No 0\nresult Yes 1\nresult Five 1\nresult Missing 1\n"
      "result Throws 1\nresult a.b.No 1\nresult ShowTitle 1\nresult InitUpdate 1\nprobe done\n");
  EXPECT_TRUE(has("page.log", "No|some text")) << text("page.log");
  EXPECT_TRUE(has("page.log", "ShowTitle|readyrun"));
  EXPECT_TRUE(has("page.log", "InitUpdate|{\"downloadCount\":0}"));
  EXPECT_TRUE(isRunning(p)) << "a failing page function does not stop the program";
}

TEST_F(UpdaterProgramTest, OnlyTheListedAnswersReachTheUpdateFlow) {
  writePage(R"({ onload: [["ConfirmUpdate", "false"], ["ConfirmUpdate", "true"],
                          ["confirmupdate", "true"], ["ConfirmRetryTooTimes", "maybe"],
                          ["ConfirmRetryTooTimes", "false"], ["ConfirmCloseIe", "true"],
                          ["ConfirmCloseIe", "false"], ["ConfirmRetry", "false"],
                          ["ConfirmRetry", "true"], ["Unknown", "true"]] })",
            "");
  writeProbe("sleep 10\n");
  start();
  ASSERT_TRUE(waitFor("flow.log", "probe done")) << text("flow.log");
  std::string answers;
  for (const char* line :
       {"answer ConfirmUpdate", "answer ConfirmRetryTooTimes false", "answer ConfirmCloseIe true",
        "answer ConfirmCloseIe false", "answer ConfirmRetry"})
    EXPECT_TRUE(has("flow.log", line)) << line << "\n" << text("flow.log");
  // Five answers and the probe's own two lines, nothing else.
  const std::string log = text("flow.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 7) << log;
}

TEST_F(UpdaterProgramTest, GetLangIdAnswersThePageThroughJSGetLangID) {
  ProductSettings settings;
  settings.setDword(L"LangID", 2052);
  ProductSettings other(std::wstring(kSettingsKeyPrefix) + L"OrvTestText");
  other.setText(L"LangID", L"2052");
  writePage(R"({ onload: [["GetLangID", "Orvalinex"], ["GetLangID", "OrvNoSuchProduct"],
                          ["GetLangID", "OrvTestText"]] })",
            "function JSGetLangID(id) { host.log('JSGetLangID|' + id); }\n");
  writeProbe("sleep 10\n");
  start();
  ASSERT_TRUE(waitFor("flow.log", "probe done")) << text("flow.log");
  EXPECT_EQ(text("page.log"), "onload|\nJSGetLangID|2052\nJSGetLangID|-1\nJSGetLangID|-1\n");
}

// The page tests window.external.JsCallFunc against null before it calls it; without
// JSGetLangID the answer to GetLangID fails quietly.
TEST_F(UpdaterProgramTest, JsCallFuncReadsAsTrueAndGetLangIdWithoutItsFunctionFailsQuietly) {
  writePage(R"({ onload: [["GetLangID", "Orvalinex"]] })",
            "var f = window.external.JsCallFunc;\n"
            "host.log('JsCallFunc|' + (f == null ? 'null' : typeof(f) + ' ' + f));\n");
  writeProbe("call ShowTitle runAssistant\n");
  Process& p = start();
  ASSERT_TRUE(waitFor("flow.log", "probe done")) << text("flow.log");
  EXPECT_TRUE(has("page.log", "JsCallFunc|boolean true")) << text("page.log");
  EXPECT_TRUE(has("flow.log", "result ShowTitle 1"));
  EXPECT_TRUE(isRunning(p));
}

TEST_F(UpdaterProgramTest, CoreQuitFromAQuestionEndsTheProgram) {
  writePage(R"({ ConfirmRegError: ["quit"] })");
  writeProbe("show 5\ncall ConfirmRegError\n");
  Process& p = start();
  EXPECT_EQ(waitForExit(p), 0u);
  EXPECT_TRUE(has("page.log", "ConfirmRegError|")) << text("page.log");
  EXPECT_TRUE(has("page.log", "quit|ConfirmRegError"));
}

TEST_F(UpdaterProgramTest, CoreMinMinimisesTheWindow) {
  writePage("{}", "function Minimise() { window.external.CoreMin(); return true; }\n");
  writeProbe("show 5\nsleep 500\ncall Minimise\n");
  Process& p = start();
  ASSERT_TRUE(waitFor("flow.log", "probe done")) << text("flow.log");
  HWND dialog = dialogOf(p);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(waitUntil([&] { return IsIconic(dialog) != FALSE; }, 5000));
}

TEST_F(UpdaterProgramTest, OkDoesNothingCancelEndsTheDialog) {
  writePage();
  writeProbe("sleep 10\n");
  Process& p = start();
  ASSERT_TRUE(waitFor("flow.log", "probe done"));
  HWND dialog = dialogOf(p);
  ASSERT_NE(dialog, nullptr);
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  // Posted messages are handled in order: the About box asked for after OK shows only once the
  // dialog has come through OK still running.
  HWND about = openAboutBox(p, dialog);
  ASSERT_NE(about, nullptr) << dialogsOf(p.pid);
  PostMessageW(about, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(waitUntil([&] { return !IsWindow(about); }, 5000));
  EXPECT_TRUE(isRunning(p));
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(waitForExit(p, 10000), 0u);
}

TEST_F(UpdaterProgramTest, AboutBoxFromTheSystemMenu) {
  writePage();
  writeProbe("show 5\n");
  Process& p = start();
  ASSERT_TRUE(waitFor("flow.log", "probe done"));
  HWND dialog = dialogOf(p);
  ASSERT_NE(dialog, nullptr);
  HWND about = openAboutBox(p, dialog);
  EXPECT_NE(about, nullptr) << dialogsOf(p.pid);
  EXPECT_EQ(windowText(GetDlgItem(about, kAboutNameId)), L"Brenlow，1.0 版");
  if (about) PostMessageW(about, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(waitUntil([&] { return !IsWindow(about); }, 5000));
  EXPECT_TRUE(isRunning(p));
}

TEST_F(UpdaterProgramTest, QuitBroadcastEndsTheRunningUpdaterAndTheNewOneAtOnce) {
  writePage();
  writeProbe("sleep 10\n");
  Process& first = start();
  ASSERT_TRUE(waitFor("flow.log", "probe done"));
  // Other letter case or extra characters are no option: the second copy ends silently.
  Process& wrongCase = start(L"-T");
  EXPECT_EQ(waitForExit(wrongCase, 10000), 0u);
  Process& extra = start(L"x -tt");
  EXPECT_EQ(waitForExit(extra, 10000), 0u);
  EXPECT_TRUE(isRunning(first));

  Process& quit = start(L"x -t");
  EXPECT_EQ(waitForExit(quit, 10000), 0u);
  EXPECT_EQ(waitForExit(first, 10000), 0u);
  // With no updater running, "-t" just ends.
  Process& alone = start(L"-t");
  EXPECT_EQ(waitForExit(alone, 10000), 0u);
  EXPECT_EQ(findTopLevelWindow(alone.pid, L"#32770"), nullptr);
}

TEST_F(UpdaterProgramTest, SecondCopyEndsSilentlyWhileTheFirstAsks) {
  writePage(R"({ ConfirmUpdate: ["none"] })");
  writeProbe("show 5\ncall ConfirmUpdate update\n");
  Process& first = start();
  ASSERT_TRUE(waitFor("flow.log", "probe done"));
  Process& second = start(L"-lostfile");
  EXPECT_EQ(waitForExit(second, 10000), 0u);
  EXPECT_TRUE(isRunning(first));
  EXPECT_EQ(text("page.log"), "onload|\nConfirmUpdate|update\n");
  HWND dialog = dialogOf(first);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(IsWindowVisible(dialog));
}

// The hand-over's old copy still holds the instance mutex for a moment after it started the new
// one (it removes its work folder first): the new copy waits for it instead of ending.
TEST_F(UpdaterProgramTest, NewLoaderWaitsForTheCopyThatStartedItToEnd) {
  writePage(R"({ ConfirmUpdate: ["none"] })");
  writeProbe("show 5\ncall ConfirmUpdate update\n");
  Process& first = start();
  ASSERT_TRUE(waitFor("flow.log", "probe done"));
  fs::remove(dir_ / "flow.log");
  Process& second = start(L"-newloader");
  // The pause is the behaviour under test: a copy that found the mutex taken would have ended.
  EXPECT_EQ(waitForExit(second, 3000), static_cast<DWORD>(STILL_ACTIVE)) << "the new copy waits while the first runs";
  endIfRunning(first);
  EXPECT_TRUE(waitFor("flow.log", "probe done", 60000)) << "the new copy runs once the first ended";
  EXPECT_TRUE(isRunning(second));
}

TEST_F(UpdaterProgramTest, NewLoaderRemovesTheOldFileWhereverItStands) {
  writePage();
  writeProbe("sleep 10\n");
  const fs::path old = dir_ / (std::wstring(kUpdaterFileName) + L".old");
  writeFile(old, "previous updater");
  Process& p = start(L"-lostfile -newloader");
  ASSERT_TRUE(waitFor("flow.log", "probe done"));
  EXPECT_FALSE(fs::exists(old));
  endIfRunning(p);

  // Written other than exactly, the option removes nothing.
  fs::remove(dir_ / "flow.log");
  writeFile(old, "previous updater");
  start(L"-NewLoader");
  ASSERT_TRUE(waitFor("flow.log", "probe done"));
  EXPECT_TRUE(fs::exists(old));
}

TEST_F(UpdaterProgramTest, OldFileHeldByAnotherProcessIsLeftAfterTheBound) {
  writePage();
  writeProbe("sleep 10\n");
  const fs::path old = dir_ / (std::wstring(kUpdaterFileName) + L".old");
  writeFile(old, "previous updater");
  ScopedHandle held(CreateFileW(old.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.valid());
  const ULONGLONG started = GetTickCount64();
  start(L"-newloader");
  ASSERT_TRUE(waitFor("flow.log", "probe done", 60000));
  const ULONGLONG waited = GetTickCount64() - started;
  EXPECT_TRUE(fs::exists(old));
  EXPECT_GE(waited, 4000u) << "the start-up tried for a few seconds";
}

// The page's "Copyfile" copies a file of the program's folder to the all-users desktop, once.
TEST_F(UpdaterProgramTest, CopyfilePutsTheProgramsFileOnTheCommonDesktop) {
  wchar_t desktop[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, TRUE));
  const std::wstring target = L"orv-test-" + std::to_wstring(GetCurrentProcessId()) + L".lnk";
  const fs::path placed = fs::path(desktop) / target;
  // The updater has this test's bitness: a 32-bit one on 64-bit Windows copies the "_x64" source.
  writeFile(dir_ / updater::desktopSourceName(L"source.lnk", sizeof(void*) == 4), "shortcut bytes");
  writePage("{ onload: [[\"Copyfile\", \"source.lnk," + toUtf8(target) + "\"]] }");
  writeProbe("sleep 10\n");
  start();
  ASSERT_TRUE(waitFor("flow.log", "probe done")) << text("flow.log");
  EXPECT_TRUE(waitUntil([&] { return fs::exists(placed); }, 5000));
  EXPECT_EQ(readFile(placed), "shortcut bytes");
  std::error_code ignored;
  fs::remove(placed, ignored);
}

// The shipped program hosts the real WebBrowser control, which gets no document here: the
// dialog's set-up gives up after its bound and the program ends, never seen.
TEST_F(UpdaterProgramTest, ShippedProgramWithoutAPageEndsUnseen) {
  const fs::path shipped = temp_.path() / L"shipped";
  fs::create_directories(shipped);
  fs::copy_file(hostPath(ORV_UPDATER_PROGRAM), shipped / kUpdaterFileName);
  processes_.push_back(
      std::make_unique<Process>(startProgram((shipped / kUpdaterFileName).wstring(), L"")));
  Process& p = *processes_.back();
  bool seen = false;
  EXPECT_TRUE(waitUntil(
      [&] {
        seen = seen || findMainWindow(p.pid) != nullptr;
        return !isRunning(p);
      },
      60000));
  EXPECT_FALSE(seen);
  EXPECT_EQ(waitForExit(p, 1000), 0u);
}

}  // namespace
}  // namespace orv::test
