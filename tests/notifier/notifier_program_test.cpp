// The tray notifier as a real process under Wine: its start-up rules, its pipe with real clients,
// the confirmation events created here in the global namespace, the tray callback driven through
// its callback message, the menu, the About box and the hidden toast window. A stand-in core host
// in the notifier's folder records how it was started.
#include <windows.h>
#include <dbt.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "notifier_rules.h"
#include "pipe_client.h"
#include "pipe_message.h"
#include "processes.h"
#include "product.h"
#include "reg_key.h"
#include "scoped_handle.h"

namespace fs = std::filesystem;

namespace orv::test {
namespace {

constexpr UINT kTrayCallback = WM_USER + 1234;
constexpr UINT kIconId = 128;
const wchar_t kAboutCaption[] = L"关于 Delmora网银助手";
const wchar_t kVersionKey[] = L"SOFTWARE\\Halvenor\\DovAZ\\Orvalinex";

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The product key's "Version" in the 32-bit view: set, or removed when `version` is null.
void setVersion(const wchar_t* version) {
  RegKey key;
  ASSERT_EQ(key.create(HKEY_LOCAL_MACHINE, kVersionKey, KEY_ALL_ACCESS | KEY_WOW64_32KEY),
            ERROR_SUCCESS);
  if (!version) {
    RegDeleteValueW(key.get(), L"Version");
    return;
  }
  ASSERT_EQ(RegSetValueExW(key.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                           static_cast<DWORD>((std::wcslen(version) + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

bool versionKeyExists() {
  RegKey key;
  return key.open(HKEY_LOCAL_MACHINE, kVersionKey, KEY_READ | KEY_WOW64_32KEY) == ERROR_SUCCESS;
}

// Leaves the settings as the test found them: the value gone, the key too when the test made it.
void restoreSettings(bool keyExisted) {
  setVersion(nullptr);
  if (keyExisted) return;
  RegKey parent;
  if (parent.open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvenor\\DovAZ",
                  KEY_ALL_ACCESS | KEY_WOW64_32KEY) != ERROR_SUCCESS)
    return;
  RegDeleteKeyExW(parent.get(), L"Orvalinex", KEY_WOW64_32KEY, 0);
}

// Whether the notification area knows an icon of `owner` with the notifier's identifier: a
// modification of its tooltip succeeds only for an icon that exists.
bool trayIconExists(HWND owner) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = owner;
  data.uID = kIconId;
  data.uFlags = NIF_TIP;
  std::wcscpy(data.szTip, kProductName);
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool sendToNotifier(const std::u16string& prefix, const std::u16string& command,
                    const std::u16string& argument = u"", bool withSeparator = true,
                    DWORD timeoutMs = 15000) {
  return writePipeMessage(kNotifierPipeName,
                          pipeMessageBytes(prefix, command, argument, withSeparator), timeoutMs);
}

bool sendCommand(const std::u16string& command) { return sendToNotifier(u"PopOrvalinex", command); }

// The confirmation events a client creates before it sends "UserConfirmCmd".
struct ConfirmEvents {
  ScopedHandle yes{CreateEventW(nullptr, TRUE, FALSE, kConfirmYesEventName)};
  ScopedHandle no{CreateEventW(nullptr, TRUE, FALSE, kConfirmNoEventName)};
  bool isSet(const ScopedHandle& e) const {
    return WaitForSingleObject(e.get(), 0) == WAIT_OBJECT_0;
  }
};

class NotifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = base_.path() / L"orv tray";
    fs::create_directories(dir_);
    fs::copy_file(hostPath(ORV_NOTIFIER_PROGRAM), dir_ / L"OrvalinexTray.exe");
    fs::copy_file(hostPath(ORV_STAND_IN_CORE_HOST), dir_ / L"OrvalinexCore.exe");
    // Where an unquoted "<base>\orv tray\OrvalinexCore.exe" would be taken for "<base>\orv.exe".
    fs::copy_file(hostPath(ORV_STAND_IN_CORE_HOST), base_.path() / L"orv.exe");
    keyExisted_ = versionKeyExists();
    setVersion(L"1.0.19.1223");
  }

  void TearDown() override {
    for (auto& p : processes_) endIfRunning(*p);
    restoreSettings(keyExisted_);
    // The ended programs and the stand-ins they started let go of their files before the folder
    // goes.
    EXPECT_TRUE(waitUntil([&] { return !runsBelow(dir_.wstring()) && !standInsRunning(); }, 10000));
  }

  // Whether a stand-in core host started by the notifier still runs (in its folder, or where an
  // unquoted path would have started one). Asked before its record is read, none running means
  // every one started has written its line.
  bool standInsRunning() const {
    return runsFrom(dir() + L"OrvalinexCore.exe") ||
           runsFrom((base_.path() / L"orv.exe").wstring());
  }

  // Every command sent before has run: the notifier serves one client at a time and lets it go
  // only once its command has run, so a further (unknown) command gets through only then.
  static bool earlierCommandsRan() { return sendCommand(u"Unknown"); }

  // Every message posted to `dialog` before has been handled: posted messages are handled in
  // order, and a double-click on the icon posted after them starts the stand-in core host once
  // its turn came. The core host's record holds `coreStarts` starts before.
  void earlierPostsHandled(HWND dialog, std::size_t coreStarts) {
    PostMessageW(dialog, kTrayCallback, kIconId, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(waitUntil([&] { return coreCalls().size() == coreStarts + 1; }))
        << "the notifier no longer handles its messages";
  }

  std::wstring dir() const { return dir_.wstring() + L"\\"; }
  std::wstring program() const { return dir() + L"OrvalinexTray.exe"; }

  Process& start(const std::wstring& arguments = L"", bool raw = false) {
    processes_.push_back(std::make_unique<Process>(startProgram(program(), arguments, raw)));
    return *processes_.back();
  }

  // The hidden main dialog of `p` once its pipe serves; null when it never got there.
  HWND waitReady(const Process& p) {
    HWND dialog = nullptr;
    const bool found = waitUntil([&] {
      dialog = findTopLevelWindow(p.pid, L"#32770", kProductName);
      return dialog != nullptr;
    });
    EXPECT_TRUE(found) << "the notifier's dialog did not appear";
    EXPECT_TRUE(waitUntil([] { return WaitNamedPipeW(kNotifierPipeName, 100) != FALSE; }))
        << "the notifier's pipe did not appear";
    WaitForInputIdle(p.handle.get(), 10000);
    return dialog;
  }

  Process& startReady(HWND* dialog) {
    Process& p = start();
    *dialog = waitReady(p);
    return p;
  }

  // The stand-in core host's record: "<command line>|<current folder>" per start.
  std::vector<std::wstring> coreCalls(const fs::path& folder) const {
    std::vector<std::wstring> calls;
    const std::string bytes = readAll(folder / L"core-calls.txt");
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()),
                      bytes.size() / sizeof(wchar_t));
    std::size_t from = 0;
    for (std::size_t nl; (nl = text.find(L'\n', from)) != std::wstring::npos; from = nl + 1)
      calls.push_back(text.substr(from, nl - from));
    return calls;
  }
  std::vector<std::wstring> coreCalls() const { return coreCalls(dir_); }

  std::vector<HWND> aboutBoxes(DWORD pid) const {
    std::vector<HWND> visible;
    for (HWND w : topLevelWindows(pid, L"#32770", kAboutCaption))
      if (IsWindowVisible(w)) visible.push_back(w);
    return visible;
  }

  TempDir base_;
  fs::path dir_;
  bool keyExisted_ = false;
  std::vector<std::unique_ptr<Process>> processes_;
};

// ---- start-up, "-t" and the single instance

TEST_F(NotifierTest, StartsHiddenWithItsIconAndToast) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  // The waits on running programs read the process list: it names this one by its path.
  EXPECT_TRUE(runsFrom(program()));
  EXPECT_TRUE(runsBelow(dir_.wstring()));
  // What the product must come through hidden: the modal loop's first show, when the program is
  // first idle, and what that show left queued for the dialog's thread.
  WaitForInputIdle(p.handle.get(), 10000);
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &answer);
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_EQ(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & 0x00C40080, 0);  // WS_EX_APPWINDOW gone
  EXPECT_TRUE(trayIconExists(dialog));

  HWND toast = findTopLevelWindow(p.pid, L"CTaskbarNotifier");
  ASSERT_NE(toast, nullptr) << "no toast window";
  EXPECT_FALSE(IsWindowVisible(toast));
  EXPECT_EQ(GetWindow(toast, GW_OWNER), dialog);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(toast, GWL_STYLE)) & (WS_POPUP | WS_VISIBLE),
            static_cast<DWORD>(WS_POPUP));
  EXPECT_EQ(GetWindowLongPtrW(toast, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
  RECT toastRect = {};
  GetWindowRect(toast, &toastRect);
  EXPECT_EQ(toastRect.right - toastRect.left, 0);
  EXPECT_EQ(toastRect.bottom - toastRect.top, 0);

  HWND box = GetDlgItem(toast, 800800);
  ASSERT_NE(box, nullptr) << "no check box 800800";
  wchar_t cls[32] = {};
  GetClassNameW(box, cls, 32);
  EXPECT_EQ(_wcsicmp(cls, L"Button"), 0);
  EXPECT_EQ(windowText(box), L"是否继续？");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE)), 0x50000002u);
  EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  RECT r = {};
  GetWindowRect(box, &r);
  MapWindowPoints(nullptr, toast, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 80);
  EXPECT_EQ(r.top, 120);
  EXPECT_EQ(r.right, 230);
  EXPECT_EQ(r.bottom, 160);

  // Hidden for good: shown from outside, it goes again on the next size change and on a minimise
  // request.
  ShowWindow(dialog, SW_SHOWNORMAL);
  ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 5000));
  SendMessageW(dialog, WM_SIZE, SIZE_RESTORED, 0);
  EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(dialog); }, 5000));
  ShowWindow(dialog, SW_SHOWNORMAL);
  ASSERT_TRUE(waitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 5000));
  PostMessageW(dialog, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(waitUntil([&] { return !IsWindowVisible(dialog); }, 5000));
  EXPECT_FALSE(IsWindowVisible(toast));
  EXPECT_TRUE(isRunning(p));
}

TEST_F(NotifierTest, MinusTEndsTheRunningCopyWhichRemovesItsIcon) {
  HWND dialog = nullptr;
  Process& first = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(trayIconExists(dialog));
  Process& closer = start(L"-t");
  EXPECT_EQ(waitForExit(closer), 0u);
  EXPECT_EQ(waitForExit(first), 0u);
  EXPECT_FALSE(trayIconExists(dialog));
  EXPECT_TRUE(coreCalls().empty());
}

TEST_F(NotifierTest, MinusTAloneEndsWithoutWindowOrPipe) {
  Process& closer = start(L"x -t");
  EXPECT_EQ(waitForExit(closer), 0u);
  EXPECT_FALSE(WaitNamedPipeW(kNotifierPipeName, 200));
  // Nothing else runs, so a normal start now is the first copy.
  HWND dialog = nullptr;
  startReady(&dialog);
  EXPECT_NE(dialog, nullptr);
}

TEST_F(NotifierTest, OtherSpellingsAndTokenZeroDoNotClose) {
  HWND dialog = nullptr;
  Process& first = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  for (const wchar_t* args : {L"-T", L"/t", L"\"-t \""}) {
    Process& other = start(args);
    EXPECT_EQ(waitForExit(other), 0u) << "arguments " << std::string(args, args + wcslen(args));
  }
  Process& tokenZero = start(L"-t", /*raw=*/true);  // "-t" is the program's own token
  EXPECT_EQ(waitForExit(tokenZero), 0u);
  earlierPostsHandled(dialog, 0);  // any quit broadcast of the other copies came before
  EXPECT_TRUE(isRunning(first));
  EXPECT_TRUE(trayIconExists(dialog));
}

TEST_F(NotifierTest, SecondCopyEndsWithZeroAndLeavesTheFirstAlone) {
  HWND dialog = nullptr;
  Process& first = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  Process& second = start();
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_TRUE(isRunning(first));
  EXPECT_TRUE(trayIconExists(dialog));
  // The first copy's pipe still serves.
  ASSERT_TRUE(sendCommand(u"QuitCmd"));
  EXPECT_EQ(waitForExit(first), 0u);
}

// ---- the pipe

// Clients that connect and hang up at once race the notifier's start-up (between the pipe's
// creation and its first wait), then one connects and sends nothing: neither silences the pipe.
TEST_F(NotifierTest, HangUpsDuringStartUpAndASilentClientDoNotSilenceThePipe) {
  std::atomic<bool> storming{true};
  std::atomic<long> connects{0};
  std::thread storm([&] {
    while (storming) {
      ScopedHandle client(
          CreateFileW(kNotifierPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      if (client.valid()) ++connects;
    }
  });
  Process& p = start();
  const bool stormed = waitUntil([&] { return connects.load() >= 50; });
  storming = false;
  storm.join();
  ASSERT_TRUE(stormed) << "only " << connects.load() << " connections";
  ASSERT_NE(waitReady(p), nullptr);

  ScopedHandle silent;
  ASSERT_TRUE(waitUntil([&] {
    silent.reset(
        CreateFileW(kNotifierPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return silent.valid();
  }));
  ASSERT_TRUE(sendCommand(u"QuitCmd")) << "the pipe no longer serves";
  EXPECT_EQ(waitForExit(p), 0u);
}

TEST_F(NotifierTest, QuitCmdWithArgumentAndAnyPrefix) {
  for (const std::u16string prefix : {u"PopOrvalinex", u"abcdefghijkl"}) {
    for (const std::u16string argument : {u"", u"something"}) {
      HWND dialog = nullptr;
      Process& p = startReady(&dialog);
      ASSERT_NE(dialog, nullptr);
      ASSERT_TRUE(sendToNotifier(prefix, u"QuitCmd", argument));
      EXPECT_EQ(waitForExit(p), 0u);
    }
  }
}

TEST_F(NotifierTest, IgnoredMessagesThenTheNextGoodOneIsServed) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(sendToNotifier(u"PopOrvalinex", u"QuitCmd", u"", /*withSeparator=*/false));
  ASSERT_TRUE(sendCommand(u"quitcmd"));
  ASSERT_TRUE(sendCommand(u"QUITCMD"));
  ASSERT_TRUE(sendCommand(u"Bogus"));
  ASSERT_TRUE(sendToNotifier(u"PopOr", u"QuitCmd"));  // prefix too short: "QuitCmd" is not at 12
  ASSERT_TRUE(writePipeMessage(kNotifierPipeName, std::string(), 5000));  // empty message
  // Served one after another: the empty one was read too, so the notifier is still there.
  ASSERT_TRUE(earlierCommandsRan());
  EXPECT_TRUE(isRunning(p));
  ASSERT_TRUE(sendCommand(u"QuitCmd"));
  EXPECT_EQ(waitForExit(p), 0u);
}

TEST_F(NotifierTest, LongMessagesAreCutAndTheRestIsNeverRead) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  // 127 characters of an unknown command, then what would end the notifier were it read.
  std::u16string unknown = u"Unknown||" + std::u16string(127 - 12 - 9, u'x');
  std::u16string tail = u"PopOrvalinexQuitCmd||";
  // The client's write may be refused once the notifier has read its part and disconnected.
  sendToNotifier(u"PopOrvalinex", unknown + tail, u"", false);
  ASSERT_TRUE(earlierCommandsRan());
  EXPECT_TRUE(isRunning(p));
  // Cut at 127 characters, the command at its start still runs.
  sendToNotifier(u"PopOrvalinex", u"QuitCmd", std::u16string(300, u'a'));
  EXPECT_EQ(waitForExit(p), 0u);
}

TEST_F(NotifierTest, UserConfirmSetsTheAnswersEvent) {
  struct Answer {
    const char* name;
    UINT message;
    WPARAM wParam;
    bool yes;
  };
  const Answer answers[] = {{"OK", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), true},
                            {"Cancel", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), false},
                            {"close box", WM_SYSCOMMAND, SC_CLOSE, false}};
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  for (const Answer& a : answers) {
    SCOPED_TRACE(a.name);
    ConfirmEvents events;
    ASSERT_TRUE(events.yes.valid() && events.no.valid());
    ASSERT_TRUE(sendCommand(u"UserConfirmCmd"));
    HWND box = nullptr;
    ASSERT_TRUE(waitUntil([&] {
      return (box = findMessageBox(p.pid, kProductName, notifier::kUserConfirmText)) != nullptr;
    })) << "no question";
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == box; }, 5000)) << "not in front";
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_NE(GetDlgItem(box, IDCANCEL), nullptr);
    EXPECT_FALSE(events.isSet(events.yes));
    EXPECT_FALSE(events.isSet(events.no));
    LPARAM control =
        a.message == WM_COMMAND ? reinterpret_cast<LPARAM>(GetDlgItem(box, LOWORD(a.wParam))) : 0;
    PostMessageW(box, a.message, a.wParam, control);
    HANDLE expected = a.yes ? events.yes.get() : events.no.get();
    EXPECT_EQ(WaitForSingleObject(expected, 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(earlierCommandsRan());
    EXPECT_EQ(events.isSet(events.yes), a.yes);
    EXPECT_EQ(events.isSet(events.no), !a.yes);
  }
  // Without events the answer is dropped and the notifier goes on.
  ASSERT_TRUE(sendCommand(u"UserConfirmCmd"));
  HWND box = nullptr;
  ASSERT_TRUE(waitUntil([&] {
    return (box = findMessageBox(p.pid, kProductName, notifier::kUserConfirmText)) != nullptr;
  }));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  ASSERT_TRUE(sendCommand(u"QuitCmd"));
  EXPECT_EQ(waitForExit(p), 0u);
}

TEST_F(NotifierTest, AnOpenQuestionHoldsTheNextClient) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  ConfirmEvents events;
  ASSERT_TRUE(sendCommand(u"UserConfirmCmd"));
  HWND first = nullptr;
  ASSERT_TRUE(waitUntil([&] {
    return (first = findMessageBox(p.pid, kProductName, notifier::kUserConfirmText)) != nullptr;
  }));

  std::atomic<bool> written{false};
  std::atomic<bool> ok{false};
  std::thread client([&] {
    ok = sendToNotifier(u"PopOrvalinex", u"QuitCmd", u"", true, 60000);
    written = true;
  });
  // The behaviour under test: the question stays open through this pause, and the waiting
  // client must not get through meanwhile.
  Sleep(1500);
  EXPECT_FALSE(written.load()) << "a second client got through while the question was open";
  EXPECT_TRUE(isRunning(p));

  PostMessageW(first, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(first, IDOK)));
  EXPECT_EQ(WaitForSingleObject(events.yes.get(), 10000), WAIT_OBJECT_0);
  client.join();
  EXPECT_TRUE(ok.load());
  EXPECT_EQ(waitForExit(p), 0u);  // the waiting client's QuitCmd ran next
}

TEST_F(NotifierTest, UpdatePopWithAndWithoutTheIcon) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(sendCommand(u"UpdatePopCmd"));
  ASSERT_TRUE(earlierCommandsRan());
  EXPECT_TRUE(isRunning(p));
  EXPECT_TRUE(trayIconExists(dialog));
  // Take the icon away: the balloon then fails, silently.
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = dialog;
  data.uID = kIconId;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
  ASSERT_FALSE(trayIconExists(dialog));
  ASSERT_TRUE(sendCommand(u"UpdatePopCmd"));
  ASSERT_TRUE(earlierCommandsRan());
  EXPECT_TRUE(isRunning(p));
  EXPECT_FALSE(trayIconExists(dialog));  // the balloon did not bring an icon back
  ASSERT_TRUE(sendCommand(u"QuitCmd"));
  EXPECT_EQ(waitForExit(p), 0u);
}

TEST_F(NotifierTest, TaskbarCreatedAddsTheIconAgain) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  // The shell's restart loses every icon; the notifier hears it and adds its own again.
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = dialog;
  data.uID = kIconId;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
  ASSERT_FALSE(trayIconExists(dialog));
  SendMessageW(dialog, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(trayIconExists(dialog));
  EXPECT_TRUE(isRunning(p));
}

// ---- the tray callback, the menu and the About box

TEST_F(NotifierTest, DoubleClickStartsTheCoreHostWithNokey) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  SendMessageW(dialog, kTrayCallback, kIconId, WM_LBUTTONDBLCLK);
  ASSERT_TRUE(waitUntil([&] { return coreCalls().size() == 1; }))
      << "the core host was not started";
  const std::wstring call = coreCalls()[0];
  const std::wstring quoted = L"\"" + dir() + L"OrvalinexCore.exe\"";
  EXPECT_EQ(call.substr(0, quoted.size()), quoted)
      << "not the quoted path in the notifier's folder";
  const std::wstring commandLine = call.substr(0, call.rfind(L'|'));
  EXPECT_EQ(commandLine.substr(commandLine.size() - 7), L" -nokey");
  // A second double-click starts it again; other mouse messages do nothing.
  SendMessageW(dialog, kTrayCallback, kIconId, WM_LBUTTONDOWN);
  SendMessageW(dialog, kTrayCallback, kIconId, WM_LBUTTONUP);
  SendMessageW(dialog, kTrayCallback, kIconId, WM_LBUTTONDBLCLK);
  ASSERT_TRUE(waitUntil([&] { return coreCalls().size() == 2; }));
  ASSERT_TRUE(waitUntil([&] { return !standInsRunning(); }));
  EXPECT_EQ(coreCalls().size(), 2u);
  EXPECT_FALSE(fs::exists(base_.path() / L"core-calls.txt"))
      << "an unquoted path started <base>\\orv.exe";
  EXPECT_TRUE(isRunning(p));
}

TEST_F(NotifierTest, RightClickOpensTheMenuBesideThePointer) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(SetCursorPos(300, 200));
  POINT cursor = {};
  GetCursorPos(&cursor);
  PostMessageW(dialog, kTrayCallback, kIconId, WM_RBUTTONUP);
  HWND menu = nullptr;
  ASSERT_TRUE(waitUntil([&] {
    return (menu = findTopLevelWindow(p.pid, L"#32768", L"", true)) != nullptr;
  })) << "no menu";
  RECT r = {};
  GetWindowRect(menu, &r);
  EXPECT_EQ(r.left, cursor.x + 1);
  EXPECT_EQ(r.top, cursor.y + 1);
  // Its second item "关于" chosen from the keyboard opens the About box.
  PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(waitUntil([&] { return aboutBoxes(p.pid).size() == 1; }, 10000)) << "no About box";
  for (HWND about : aboutBoxes(p.pid)) PostMessageW(about, WM_COMMAND, IDOK, 0);
  SendMessageW(dialog, WM_CANCELMODE, 0, 0);  // a menu still open closes
  EXPECT_TRUE(
      waitUntil([&] { return findTopLevelWindow(p.pid, L"#32768", L"", true) == nullptr; }, 10000));
  EXPECT_TRUE(isRunning(p));
}

TEST_F(NotifierTest, AboutFromTheMenuOpensOnceWithTheVersion) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  PostMessageW(dialog, WM_COMMAND, 32779, 0);
  PostMessageW(dialog, WM_COMMAND, 32779, 0);
  ASSERT_TRUE(waitUntil([&] { return aboutBoxes(p.pid).size() == 1; })) << "no About box";
  earlierPostsHandled(dialog, 0);  // the second choice among them
  ASSERT_EQ(aboutBoxes(p.pid).size(), 1u) << "the second choice opened another About box";
  HWND about = aboutBoxes(p.pid)[0];
  // Its owner is hidden at the screen's corner: the box is centred on the screen's work area.
  RECT r = {}, work = {};
  GetWindowRect(about, &r);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_LE(std::abs((r.left + r.right) - (work.left + work.right)), 2);
  EXPECT_LE(std::abs((r.top + r.bottom) - (work.top + work.bottom)), 2);
  EXPECT_EQ(windowText(GetDlgItem(about, 1001)), L"Ambrel网银助手");
  EXPECT_EQ(windowText(GetDlgItem(about, 1004)), L"版本号：1.0.19.1223");
  EXPECT_EQ(windowText(GetDlgItem(about, 1002)), std::wstring(notifier::kAboutFixedText));
  EXPECT_EQ(windowText(GetDlgItem(about, IDOK)), L"确定");
  PostMessageW(about, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(waitUntil([&] { return aboutBoxes(p.pid).empty(); }));
  // Closed, the guard is down again.
  PostMessageW(dialog, WM_COMMAND, 32779, 0);
  ASSERT_TRUE(waitUntil([&] { return aboutBoxes(p.pid).size() == 1; }));
  PostMessageW(aboutBoxes(p.pid)[0], WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(waitUntil([&] { return aboutBoxes(p.pid).empty(); }));
}

TEST_F(NotifierTest, AboutFromTheSystemMenuHasNoGuard) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  PostMessageW(dialog, WM_SYSCOMMAND, 0x10, 0);
  ASSERT_TRUE(waitUntil([&] { return aboutBoxes(p.pid).size() == 1; }));
  PostMessageW(dialog, WM_SYSCOMMAND, 0x10, 0);
  EXPECT_TRUE(waitUntil([&] { return aboutBoxes(p.pid).size() == 2; }, 10000));
  for (int i = 0; i < 2; ++i) {
    const auto boxes = aboutBoxes(p.pid);
    if (!boxes.empty()) PostMessageW(boxes.back(), WM_COMMAND, IDOK, 0);
    waitUntil([&] { return aboutBoxes(p.pid).size() < boxes.size(); }, 5000);
  }
  EXPECT_TRUE(isRunning(p));
}

TEST_F(NotifierTest, AboutShowsTheFailureTextWithoutAReadableVersion) {
  const std::wstring tooLong(130, L'9');  // 260 bytes and a terminator do not fit
  for (const wchar_t* version : {static_cast<const wchar_t*>(nullptr), tooLong.c_str()}) {
    setVersion(version);
    HWND dialog = nullptr;
    Process& p = startReady(&dialog);
    ASSERT_NE(dialog, nullptr);
    PostMessageW(dialog, WM_COMMAND, 32779, 0);
    ASSERT_TRUE(waitUntil([&] { return aboutBoxes(p.pid).size() == 1; }));
    HWND about = aboutBoxes(p.pid)[0];
    EXPECT_EQ(windowText(GetDlgItem(about, 1004)), L"版本号：获取版本信息失败");
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(sendCommand(u"QuitCmd"));
    EXPECT_EQ(waitForExit(p), 0u);
  }
}

TEST_F(NotifierTest, ExitItemRemovesTheIconStartsTheCoreHostWithMinusTAndEnds) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(trayIconExists(dialog));
  PostMessageW(dialog, WM_COMMAND, 32778, 0);
  EXPECT_EQ(waitForExit(p), 0u);
  EXPECT_FALSE(trayIconExists(dialog));
  ASSERT_TRUE(waitUntil([&] { return coreCalls().size() == 1; }))
      << "the core host was not started";
  const std::wstring call = coreCalls()[0];
  const std::wstring commandLine = call.substr(0, call.rfind(L'|'));
  EXPECT_EQ(commandLine, L"\"" + dir() + L"OrvalinexCore.exe\" -t");
}

TEST_F(NotifierTest, ShowItemStartsTheCoreHost) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  PostMessageW(dialog, WM_COMMAND, 32780, 0);
  ASSERT_TRUE(waitUntil([&] { return coreCalls().size() == 1; }));
  const std::wstring call = coreCalls()[0];
  EXPECT_EQ(call.substr(0, call.rfind(L'|')), L"\"" + dir() + L"OrvalinexCore.exe\" -nokey");
  EXPECT_TRUE(isRunning(p));
}

TEST_F(NotifierTest, SystemCloseRemovesTheIconAndEnds) {
  HWND dialog = nullptr;
  Process& p = startReady(&dialog);
  ASSERT_NE(dialog, nullptr);
  // A device arrival starts nothing and is answered TRUE.
  DEV_BROADCAST_DEVICEINTERFACE_W arrival = {};
  arrival.dbcc_size = sizeof(arrival);
  arrival.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(dialog, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                      reinterpret_cast<LPARAM>(&arrival), SMTO_ABORTIFHUNG, 5000, &answer);
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
  // The quit broadcast with any other wParam does nothing.
  SendMessageTimeoutW(dialog, RegisterWindowMessageW(kNotifierInstanceMessageName), 2, 0,
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  EXPECT_TRUE(isRunning(p));
  EXPECT_TRUE(coreCalls().empty());

  PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(waitForExit(p), 0u);
  EXPECT_FALSE(trayIconExists(dialog));
  EXPECT_TRUE(coreCalls().empty());
}

}  // namespace
}  // namespace orv::test
