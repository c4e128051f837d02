// The running core host with its page: the whole round trip a bank page makes (JScript calling
// window.external, Lua answering later through CallJsFunc into a page function), the keys and
// presses the page never sees, the entry address, and the set-ups that end the program before
// any window is shown. The test build's page is real JScript; the shipped program runs too.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core_installation.h"

namespace orv::test {
namespace {

// Sizes the window for the drag tests (a caption band of 1000 by 30 pixels) and gives the page
// a Lua side that records what reaches it, one line per call, in "lua.log".
const char kConfigBody[] = R"(
Width = 1000
Height = 600
caption_width = 1000
caption_height = 30
Name = "core"
function Log(text)
  local f = io.open("lua.log", "ab")
  f:write(tostring(text), "\n")
  f:close()
  return true
end
function Greet(who)
  Log("greet " .. who)
  CallJsFunc("onAnswer", "hello " .. who)
  return true
end
)";

std::string config(const std::string& entry) { return entry + "\n" + kConfigBody; }

// On load the page calls Lua asynchronously; Lua answers through CallJsFunc, and the page hands
// the answer and a Lua value back through a synchronous call.
const char kRoundTripPage[] = R"(<html><head><script type="text/javascript">
function onAnswer(text) {
  window.external.JsCallLuaFuncSyn("Log", "page got " + text + " from " +
                                   window.external.JsGetLuaVarString("Name"));
}
function onload() {
  if (!window.external.JsCallLuaFuncAsyn("Greet", "page")) window.external.JsCallLuaFuncSyn("Log", "not queued");
}
function onkeydown(code) { window.external.JsCallLuaFuncSyn("Log", "key " + code); }
function onmousedown(x, y) { window.external.JsCallLuaFuncSyn("Log", "press " + x + "," + y); }
</script></head><body></body></html>
)";

class CorePageTest : public RunningCoreTest {
 protected:
  // Runs the round-trip page and waits until its first answer is back: the page is loaded and
  // answering. Returns the page's window (the browser's place in the dialog), or null when it did
  // not come up; `window_` is the main window.
  HWND runRoundTripPage() {
    install(config("EnterHtml = \"page.htm\""), kRoundTripPage);
    window_ = run();
    HWND browser = window_ ? GetDlgItem(window_, 1000) : nullptr;
    if (!browser) return nullptr;
    const bool answered = waitUntil([&] { return luaLogHas("page got hello page from core"); });
    EXPECT_TRUE(answered) << luaLog();
    return answered ? browser : nullptr;
  }

  // Starts the program and watches it end; true when it ended with exit code 0 without its main
  // window ever being seen.
  ::testing::AssertionResult endsBeforeAnyWindow(const std::wstring& arguments = L"-nokey") {
    process_ = startProgram(install_->programPath(), arguments);
    bool seen = false;
    const bool ended = waitUntil(
        [&] {
          seen = seen || findMainWindow(process_.pid) != nullptr;
          return WaitForSingleObject(process_.handle.get(), 0) == WAIT_OBJECT_0;
        },
        30000);
    if (!ended) return ::testing::AssertionFailure() << "the program is still running";
    if (seen) return ::testing::AssertionFailure() << "the main window was shown";
    const DWORD code = waitForExit(process_);
    if (code != 0) return ::testing::AssertionFailure() << "exit code " << code;
    return ::testing::AssertionSuccess();
  }

  std::string luaLog() const { return fileText(L"lua.log"); }
  bool luaLogHas(const std::string& line) const {
    return luaLog().find(line + "\n") != std::string::npos;
  }
  std::string navigations() const { return fileText(L"navigate.log"); }
  std::string narrowDir() const {
    const std::wstring dir = install_->dir();
    return std::string(dir.begin(), dir.end());  // the test folders are ASCII
  }

  HWND window_ = nullptr;
};

TEST_F(CorePageTest, PageCallsLuaWhichAnswersThroughCallJsFunc) {
  install(config("EnterHtml = \"page.htm\""), kRoundTripPage);
  ASSERT_NE(run(), nullptr);
  EXPECT_TRUE(waitUntil([&] { return luaLogHas("page got hello page from core"); })) << luaLog();
  EXPECT_EQ(luaLog(), "greet page\npage got hello page from core\n");
  EXPECT_FALSE(install_->exists(L"page-errors.log")) << install_->readFile(L"page-errors.log");
  EXPECT_EQ(navigations(), narrowDir() + "page.htm\n");
}

TEST_F(CorePageTest, ReadingCoreQuitAsAPropertyClosesTheProgram) {
  install(config("EnterHtml = \"page.htm\""), R"(<script>
function onload() {
  window.external.JsCallLuaFuncSyn("Log", "loaded");
  var probe = window.external.CoreQuit;  // read, never called
}
</script>)");
  process_ = startProgram(install_->programPath(), L"-nokey");
  EXPECT_EQ(waitForExit(process_), 0u);
  EXPECT_EQ(luaLog(), "loaded\n");
}

TEST_F(CorePageTest, BlockedKeysNeverReachThePage) {
  HWND browser = runRoundTripPage();
  ASSERT_NE(browser, nullptr);
  for (WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}, WPARAM{'A'}, WPARAM{VK_F1},
                     WPARAM{VK_F5}, WPARAM{'B'}})
    PostMessageW(browser, WM_KEYDOWN, key, 1);
  ASSERT_TRUE(waitUntil([&] { return luaLogHas("key 66"); })) << luaLog();
  const std::string log = luaLog();
  EXPECT_NE(log.find("key 65\nkey 66\n"), std::string::npos) << log;
  for (const char* blocked : {"key 13\n", "key 27\n", "key 112\n", "key 116\n"})
    EXPECT_EQ(log.find(blocked), std::string::npos) << blocked;
}

TEST_F(CorePageTest, PressOnTheWindowButtonsReachesThePage) {
  HWND browser = runRoundTripPage();
  ASSERT_NE(browser, nullptr);
  HWND window = window_;
  // Inside the caption band but strictly inside the window buttons' rectangle: not a drag.
  POINT at = {800, 10};
  ClientToScreen(browser, &at);
  ASSERT_TRUE(SetCursorPos(at.x, at.y));
  PostMessageW(browser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(800, 10));
  EXPECT_TRUE(waitUntil([&] { return luaLogHas("press 800,10"); })) << luaLog();
  RECT before = {}, after = {};
  GetWindowRect(window, &before);
  // Below the caption band: not a drag either.
  PostMessageW(browser, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 100));
  EXPECT_TRUE(waitUntil([&] { return luaLogHas("press 300,100"); })) << luaLog();
  GetWindowRect(window, &after);
  EXPECT_EQ(before.left, after.left);
  EXPECT_EQ(before.top, after.top);
}

// Real mouse input: a press on the window buttons' left edge (the exclusion is strict) moves the
// window with the mouse, and the page never sees the press.
TEST_F(CorePageTest, PressInTheCaptionBandMovesTheWindow) {
  HWND browser = runRoundTripPage();
  ASSERT_NE(browser, nullptr);
  HWND window = window_;
  RECT before = {}, after = {};
  GetWindowRect(window, &before);
  POINT at = {720, 10};
  ClientToScreen(browser, &at);
  ASSERT_TRUE(SetCursorPos(at.x, at.y));
  INPUT down = {};
  down.type = INPUT_MOUSE;
  down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  ASSERT_EQ(SendInput(1, &down, sizeof(INPUT)), 1u);
  // Until the move ends, its own loop takes the thread's messages.
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  const auto moving = [thread] {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMOVESIZE);
  };
  ASSERT_TRUE(waitUntil(moving, 5000)) << "the press did not start a move: " << luaLog();
  for (int step = 1; step <= 5; ++step) {
    SetCursorPos(at.x + 10 * step, at.y + 6 * step);
    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &move, sizeof(INPUT));
    Sleep(100);  // a drag at a hand's pace: each step is the input under test
  }
  INPUT up = {};
  up.type = INPUT_MOUSE;
  up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ASSERT_EQ(SendInput(1, &up, sizeof(INPUT)), 1u);
  EXPECT_TRUE(waitUntil([&] { return !moving(); }, 5000)) << "the window's move did not end";
  GetWindowRect(window, &after);
  EXPECT_EQ(after.left - before.left, 50);
  EXPECT_EQ(after.top - before.top, 30);
  // The page goes on answering, and never saw the press.
  DWORD_PTR ignored = 0;
  EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored), 0)
      << "hung";
  PostMessageW(browser, WM_KEYDOWN, 'B', 1);
  ASSERT_TRUE(waitUntil([&] { return luaLogHas("key 66"); }, 5000)) << luaLog();
  EXPECT_FALSE(luaLogHas("press 720,10")) << luaLog();
}

TEST_F(CorePageTest, EnterResdllWinsOverEnterHtml) {
  // The test build has no resource pages: the program ends at the document step.
  install(config("EnterResdll = \"pages.dll/main.htm\"\nEnterHtml = \"page.htm\""), kRoundTripPage);
  EXPECT_TRUE(endsBeforeAnyWindow());
  EXPECT_EQ(navigations(), "res://" + narrowDir() + "pages.dll/main.htm\n");
  EXPECT_EQ(luaLog(), "");
}

TEST_F(CorePageTest, SetUpsThatEndTheProgramBeforeAnyWindow) {
  struct Case {
    const char* name;
    std::string config;
  };
  const Case cases[] = {
      {"no entry address: no document", std::string(kConfigBody)},
      {"no caption_width",
       "EnterHtml = \"page.htm\"\nWidth = 640\nHeight = 400\ncaption_height = 30\n"},
      {"no Height",
       "EnterHtml = \"page.htm\"\nWidth = 640\ncaption_width = 600\ncaption_height = 30\n"},
      {"configuration does not load", config("EnterHtml = \"page.htm\"") + "\nthis is not Lua (\n"},
      {"configuration raises an error", config("EnterHtml = \"page.htm\"") + "\nerror('stop')\n"},
      {"entry file missing: no document", config("EnterHtml = \"missing.htm\"")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install(c.config, kRoundTripPage);
    EXPECT_TRUE(endsBeforeAnyWindow());
    EXPECT_EQ(luaLog(), "");  // the page never ran
    TearDown();
  }
}

TEST_F(CorePageTest, MissingConfigurationEndsTheProgram) {
  install(config("EnterHtml = \"page.htm\""), kRoundTripPage);
  ASSERT_TRUE(DeleteFileW((install_->dir() + L"Script\\CoreConfig.lua").c_str()));
  install_->sign();
  EXPECT_TRUE(endsBeforeAnyWindow());
}

// This system has no HTML engine, so the shipped program's WebBrowser control never has a
// document: the program loads its configuration, then ends quietly at the document step.
TEST_F(CorePageTest, ShippedProgramEndsAtTheDocumentStepHere) {
  install(config("EnterHtml = \"page.htm\"") +
              "\nfunction OnTrayRunCore(arg) Log('asked ' .. tostring(arg)) return true end\n",
          kRoundTripPage, ORV_CORE_PROGRAM);
  EXPECT_TRUE(endsBeforeAnyWindow(L"-key"));
  // The configuration ran and was asked (the step before sizing and navigation).
  EXPECT_EQ(luaLog(), "asked true\n");
  EXPECT_EQ(navigations(), "");  // the stand-in page is not in this program
}

}  // namespace
}  // namespace orv::test
