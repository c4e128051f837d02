// The core host's start-up with real processes under Wine: command-line options, the single
// instance and its message, the integrity check with the updater, AutoUpdate and the version text.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "core_installation.h"
#include "product_key.h"
#include "start_rules.h"
#include "reg_key.h"

namespace orv::test {
namespace {

const wchar_t kProductKeyPath[] = L"SOFTWARE\\Halvenor\\DovAZ\\Orvalinex";
const wchar_t kCaption[] = L"Delmora网银助手";
const wchar_t kIncompleteText[] = L"助手文件不完整，请联网后更新!";

// A configuration that sizes the window and lets the test decide "OnTrayRunCore": each call is
// logged to asked.txt, and the answer is the first line of answer.txt ("true" when missing).
const char kConfig[] = R"(
EnterHtml = "page.htm"
Width = 640
Height = 400
caption_width = 600
caption_height = 30
function OnTrayRunCore(arg)
  local log = io.open("asked.txt", "ab")
  log:write(tostring(arg), "\n")
  log:close()
  local f = io.open("answer.txt", "r")
  local answer = "true"
  if f then
    answer = f:read("l") or "true"
    f:close()
  end
  return answer == "true"
end
)";

int lineCount(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

// Registry of the test's own prefix: the product key in the 32-bit view.
void deleteProductKey() {
  RegKey parent;
  if (parent.open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvenor\\DovAZ",
                  KEY_ALL_ACCESS | KEY_WOW64_32KEY) != ERROR_SUCCESS)
    return;
  RegDeleteTreeW(parent.get(), L"Orvalinex");
  RegDeleteKeyExW(parent.get(), L"Orvalinex", KEY_WOW64_32KEY, 0);
}

RegKey productKey() {
  RegKey key;
  (void)key.create(HKEY_LOCAL_MACHINE, kProductKeyPath, KEY_ALL_ACCESS | KEY_WOW64_32KEY);
  return key;  // empty when it could not be made; the callers check
}

void setDword(const wchar_t* name, DWORD value) {
  RegKey key = productKey();
  ASSERT_TRUE(key.valid());
  ASSERT_EQ(RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof(value)),
            ERROR_SUCCESS);
}

void setText(const wchar_t* name, const std::wstring& text) {
  RegKey key = productKey();
  ASSERT_TRUE(key.valid());
  ASSERT_EQ(RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

bool productKeyExists() {
  RegKey key;
  return key.open(HKEY_LOCAL_MACHINE, kProductKeyPath, KEY_READ | KEY_WOW64_32KEY) == ERROR_SUCCESS;
}

// "FirstAfterUpdate" as text, or "<missing>".
std::wstring firstRunFlag() {
  RegKey key;
  if (key.open(HKEY_LOCAL_MACHINE, kProductKeyPath, KEY_READ | KEY_WOW64_32KEY) != ERROR_SUCCESS)
    return L"<missing>";
  wchar_t data[16] = {};
  DWORD type = 0, size = sizeof(data) - sizeof(wchar_t);
  if (RegQueryValueExW(key.get(), L"FirstAfterUpdate", nullptr, &type,
                       reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
    return L"<missing>";
  return type == REG_SZ ? std::wstring(data) : L"<not text>";
}

class CoreStartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    release_.reset(CreateEventW(nullptr, TRUE, FALSE, L"OrvalinexStandInUpdaterRelease"));
    deleteProductKey();
    install_ = std::make_unique<CoreInstallation>(kConfig);
  }

  void TearDown() override {
    for (Process* p : started_) endIfRunning(*p);
    SetEvent(release_.get());
    for (DWORD pid : updaters_) {
      ScopedHandle h(OpenProcess(SYNCHRONIZE, FALSE, pid));
      if (h) WaitForSingleObject(h.get(), 10000);
    }
    // The stand-ins let go of their files before the folder goes.
    EXPECT_TRUE(waitUntil([&] { return !runsBelow(install_->dir()); }, 10000));
    install_.reset();
    deleteProductKey();
  }

  Process& start(const std::wstring& arguments) {
    processes_.push_back(
        std::make_unique<Process>(startProgram(install_->programPath(), arguments)));
    started_.push_back(processes_.back().get());
    return *processes_.back();
  }

  // Starts the host that later starts talk to and waits for its visible main window.
  HWND startRunningHost(const std::wstring& arguments, Process** host = nullptr) {
    install_->sign();
    Process& p = start(arguments);
    HWND window = nullptr;
    EXPECT_TRUE(waitUntil([&] { return (window = findMainWindow(p.pid)) != nullptr; }))
        << "the core host's main window did not appear";
    // The window shows before the dialog's set-up ends: wait until its message loop runs.
    WaitForInputIdle(p.handle.get(), 10000);
    if (host) *host = &p;
    return window;
  }

  void minimise(HWND window) { ASSERT_TRUE(minimiseWindow(window)); }

  // Remembers the stand-in updaters started by `parent` so that TearDown waits for them.
  std::vector<DWORD> updatersOf(DWORD parent) {
    std::vector<DWORD> pids = childProcesses(parent, L"OrvalinexUpdate.exe");
    updaters_.insert(updaters_.end(), pids.begin(), pids.end());
    return pids;
  }

  bool stillRunning(const Process& p) { return isRunning(p); }

  ScopedHandle release_;
  std::unique_ptr<CoreInstallation> install_;
  std::vector<std::unique_ptr<Process>> processes_;
  std::vector<Process*> started_;
  std::vector<DWORD> updaters_;
};

// ---- "-t"

TEST_F(CoreStartupTest, MinusTClosesTheRunningHost) {
  Process* host = nullptr;
  ASSERT_NE(startRunningHost(L"-nokey", &host), nullptr);
  Process& closer = start(L"-t");
  EXPECT_EQ(waitForExit(closer), 0u);
  EXPECT_EQ(waitForExit(*host), 0u);  // ended by its dialog, normally
}

TEST_F(CoreStartupTest, MinusTAsALaterTokenCloses) {
  Process* host = nullptr;
  ASSERT_NE(startRunningHost(L"", &host), nullptr);
  Process& closer = start(L"-nokey x -t");
  EXPECT_EQ(waitForExit(closer), 0u);
  EXPECT_EQ(waitForExit(*host), 0u);
}

TEST_F(CoreStartupTest, MinusTWithoutARunningHostEndsWithoutAWindow) {
  install_->sign();
  setDword(L"AutoUpdate", 1);
  Process& closer = start(L"-t");
  EXPECT_EQ(waitForExit(closer), 0u);
  // It ended before the integrity check and the AutoUpdate start.
  EXPECT_TRUE(install_->updaterCalls().empty());
}

TEST_F(CoreStartupTest, MinusTInCapitalsIsAnActivationNotAClose) {
  Process* host = nullptr;
  HWND window = startRunningHost(L"-nokey", &host);
  ASSERT_NE(window, nullptr);
  minimise(window);
  Process& second = start(L"-T");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_TRUE(waitUntil([&] { return !IsIconic(window); })) << "the host was not restored";
  EXPECT_TRUE(stillRunning(*host));
}

// ---- activation of a running host

TEST_F(CoreStartupTest, SecondStartWithoutKeyRestoresTheMinimisedHost) {
  Process* host = nullptr;
  HWND window = startRunningHost(L"-nokey", &host);
  ASSERT_NE(window, nullptr);
  minimise(window);
  Process& second = start(L"-nokey");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_TRUE(waitUntil([&] { return !IsIconic(window); }));
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_FALSE(install_->exists(L"asked.txt"));  // restored without asking the script
  EXPECT_TRUE(stillRunning(*host));
}

TEST_F(CoreStartupTest, SecondStartWithKeyAsksTheScriptWhichSaysTrue) {
  HWND window = startRunningHost(L"-nokey");
  ASSERT_NE(window, nullptr);
  minimise(window);
  install_->writeFile(L"answer.txt", "true\n");
  Process& second = start(L"-key");
  EXPECT_EQ(waitForExit(second), 0u);
  ASSERT_TRUE(waitUntil([&] { return install_->readFile(L"asked.txt") == "true\n"; }))
      << install_->readFile(L"asked.txt");
  EXPECT_TRUE(waitUntil([&] { return !IsIconic(window); }));
}

TEST_F(CoreStartupTest, SecondStartWithKeyAsksTheScriptWhichSaysFalse) {
  Process* host = nullptr;
  HWND window = startRunningHost(L"-nokey", &host);
  ASSERT_NE(window, nullptr);
  minimise(window);
  install_->writeFile(L"answer.txt", "false\n");
  Process& second = start(L"-key");
  EXPECT_EQ(waitForExit(second), 0u);
  // (The file exists before the script's line is in it: wait for the line.)
  ASSERT_TRUE(waitUntil([&] { return install_->readFile(L"asked.txt") == "true\n"; }))
      << install_->readFile(L"asked.txt");
  EXPECT_TRUE(IsIconic(window));  // the script said no
  EXPECT_TRUE(stillRunning(*host));
}

TEST_F(CoreStartupTest, KeyInCapitalsCounts) {
  HWND window = startRunningHost(L"-nokey");
  ASSERT_NE(window, nullptr);
  minimise(window);
  Process& second = start(L"-KEY");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_TRUE(waitUntil([&] { return !IsIconic(window); }));
  EXPECT_EQ(install_->readFile(L"asked.txt"), "true\n");
}

TEST_F(CoreStartupTest, KeyAsTokenTwoDoesNotCount) {
  HWND window = startRunningHost(L"-nokey");
  ASSERT_NE(window, nullptr);
  minimise(window);
  Process& second = start(L"-nokey -key");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_TRUE(waitUntil([&] { return !IsIconic(window); }));
  EXPECT_FALSE(install_->exists(L"asked.txt"));
}

TEST_F(CoreStartupTest, HostStartedWithKeyAsksItselfAndOnEveryActivation) {
  Process* host = nullptr;
  HWND window = startRunningHost(L"-key", &host);  // asked once while starting, answer true
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(install_->readFile(L"asked.txt"), "true\n");
  minimise(window);
  install_->writeFile(L"answer.txt", "false\n");
  Process& second = start(L"-nokey");  // no -key here: the host's own -key decides
  EXPECT_EQ(waitForExit(second), 0u);
  ASSERT_TRUE(waitUntil([&] { return lineCount(install_->readFile(L"asked.txt")) == 2; }));
  EXPECT_TRUE(IsIconic(window));
  EXPECT_TRUE(stillRunning(*host));
}

TEST_F(CoreStartupTest, HostStartedWithKeyEndsWhenTheScriptSaysFalse) {
  install_->writeFile(L"answer.txt", "false\n");
  install_->sign();
  Process& host = start(L"-key");
  EXPECT_EQ(waitForExit(host), 0u);
  EXPECT_EQ(install_->readFile(L"asked.txt"), "true\n");
}

// ---- "-new"

TEST_F(CoreStartupTest, NewWritesTheFlagBeforeTheActivation) {
  setDword(L"AutoUpdate", 0);
  HWND window = startRunningHost(L"-nokey");
  ASSERT_NE(window, nullptr);
  minimise(window);
  EXPECT_EQ(firstRunFlag(), L"<missing>");
  Process& second = start(L"-new");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_EQ(firstRunFlag(), L"1");
  EXPECT_TRUE(waitUntil([&] { return !IsIconic(window); }));
}

TEST_F(CoreStartupTest, NewThenTStoresAndCloses) {
  setDword(L"AutoUpdate", 0);
  Process* host = nullptr;
  ASSERT_NE(startRunningHost(L"-nokey", &host), nullptr);
  Process& second = start(L"-new -t");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_EQ(waitForExit(*host), 0u);
  EXPECT_EQ(firstRunFlag(), L"1");
}

TEST_F(CoreStartupTest, TThenNewClosesWithoutStoring) {
  setDword(L"AutoUpdate", 0);
  Process* host = nullptr;
  ASSERT_NE(startRunningHost(L"-nokey", &host), nullptr);
  Process& second = start(L"-t -new");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_EQ(waitForExit(*host), 0u);
  EXPECT_EQ(firstRunFlag(), L"<missing>");
}

TEST_F(CoreStartupTest, NewInCapitalsIsIgnored) {
  setDword(L"AutoUpdate", 0);
  Process& second = start(L"-NEW -New -t");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_EQ(firstRunFlag(), L"<missing>");
}

TEST_F(CoreStartupTest, NewNeverCreatesAMissingKey) {
  Process& second = start(L"-new -t");
  EXPECT_EQ(waitForExit(second), 0u);
  EXPECT_FALSE(productKeyExists());
}

// ---- integrity check and updater

TEST_F(CoreStartupTest, AlteredFileShowsTheMessageThenStartsTheUpdaterWithLostfile) {
  setDword(L"AutoUpdate", 1);
  install_->sign();
  install_->writeFile(L"Script\\CoreConfig.lua", std::string(kConfig) + "\n-- altered\n");
  Process& host = start(L"-nokey");
  HWND box = nullptr;
  ASSERT_TRUE(waitUntil([&] {
    return (box = findMessageBox(host.pid, kCaption, kIncompleteText)) != nullptr;
  })) << "the incomplete-installation message did not appear";
  // The updater starts only once the user has closed the message.
  EXPECT_TRUE(install_->updaterCalls().empty());
  EXPECT_TRUE(updatersOf(host.pid).empty());
  EXPECT_EQ(findMainWindow(host.pid), nullptr);
  // The user presses OK.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  EXPECT_EQ(waitForExit(host), 0u);
  updatersOf(host.pid);
  ASSERT_TRUE(waitUntil([&] { return install_->updaterCalls().size() == 1; }));
  std::vector<std::wstring> tokens;
  splitCommandLine(install_->updaterCalls()[0], tokens);
  ASSERT_EQ(tokens.size(), 2u) << install_->updaterCalls()[0];
  EXPECT_EQ(tokens[0], install_->dir() + L"OrvalinexUpdate.exe");
  EXPECT_EQ(tokens[1], L"-lostfile");
  // The quoted path never started the shorter program path in front of the blank.
  EXPECT_FALSE(std::filesystem::exists(install_->base() + L"updater-calls.txt"));
  // The log, with the installation, names the file and the repair.
  const std::string log = install_->readFile(L"Logs\\OrvalinexCore.log");
  EXPECT_NE(log.find(" - C-2 "), std::string::npos) << log;
  EXPECT_NE(log.find("CoreConfig.lua differs from its listed digest"), std::string::npos) << log;
  EXPECT_NE(log.find("the updater starts to repair"), std::string::npos) << log;
}

TEST_F(CoreStartupTest, MissingManifestShowsTheMessage) {
  Process& host = start(L"");  // not signed: no Digest.xml
  HWND box = nullptr;
  ASSERT_TRUE(waitUntil(
      [&] { return (box = findMessageBox(host.pid, kCaption, kIncompleteText)) != nullptr; }));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  EXPECT_EQ(waitForExit(host), 0u);
  updatersOf(host.pid);
  ASSERT_TRUE(waitUntil([&] { return install_->updaterCalls().size() == 1; }));
  const std::string log = install_->readFile(L"Logs\\OrvalinexCore.log");
  EXPECT_NE(log.find(" - C-1 "), std::string::npos) << log;
  EXPECT_NE(log.find("Digest.xml is missing"), std::string::npos) << log;
}

TEST_F(CoreStartupTest, AutoUpdateOneStartsTheUpdaterWithoutArguments) {
  setDword(L"AutoUpdate", 1);
  Process* host = nullptr;
  ASSERT_NE(startRunningHost(L"-nokey", &host), nullptr);
  EXPECT_EQ(updatersOf(host->pid).size(), 1u);
  ASSERT_TRUE(waitUntil([&] { return install_->updaterCalls().size() == 1; }));
  std::vector<std::wstring> tokens;
  splitCommandLine(install_->updaterCalls()[0], tokens);
  ASSERT_EQ(tokens.size(), 1u) << install_->updaterCalls()[0];
  EXPECT_EQ(tokens[0], install_->dir() + L"OrvalinexUpdate.exe");
  EXPECT_FALSE(std::filesystem::exists(install_->base() + L"updater-calls.txt"));
}

TEST_F(CoreStartupTest, AutoUpdateAsTextDoesNotStartTheUpdater) {
  setText(L"AutoUpdate", L"1");
  Process* host = nullptr;
  ASSERT_NE(startRunningHost(L"-nokey", &host), nullptr);
  // The updater would have been started before the window existed, and it waits for the test.
  EXPECT_TRUE(updatersOf(host->pid).empty());
}

TEST_F(CoreStartupTest, AutoUpdateMissingDoesNotStartTheUpdater) {
  Process* host = nullptr;
  ASSERT_NE(startRunningHost(L"-nokey", &host), nullptr);
  EXPECT_TRUE(updatersOf(host->pid).empty());
  EXPECT_TRUE(productKeyExists());  // the host created its key
}

TEST_F(CoreStartupTest, EmptyCommandLineEndsAtOnce) {
  // Whether this system hands a child an empty command line at all: the stand-in records it.
  {
    Process probe = startProgram(install_->dir() + L"OrvalinexUpdate.exe", L"", true);
    SetEvent(release_.get());
    waitForExit(probe);
    ResetEvent(release_.get());
    const std::vector<std::wstring> calls = install_->updaterCalls();
    ASSERT_EQ(calls.size(), 1u);
    DeleteFileW((install_->dir() + L"updater-calls.txt").c_str());
    if (!calls[0].empty())
      GTEST_SKIP() << "this system gives a process started with an empty command line the text \""
                   << std::string(calls[0].begin(), calls[0].end()) << "\" instead";
  }
  setDword(L"AutoUpdate", 1);
  install_->sign();
  processes_.push_back(std::make_unique<Process>(startProgram(install_->programPath(), L"", true)));
  Process& p = *processes_.back();
  started_.push_back(&p);
  EXPECT_EQ(waitForExit(p), 0u);
  EXPECT_TRUE(install_->updaterCalls().empty());
}

// ---- the dialog's set-up

TEST_F(CoreStartupTest, ConfigurationWithoutCaptionWidthEndsTheProgram) {
  install_->writeFile(L"Script\\CoreConfig.lua",
                      "Width = 640\nHeight = 400\ncaption_height = 30\n");
  install_->sign();
  Process& host = start(L"-nokey");
  EXPECT_EQ(waitForExit(host), 0u);
}

std::wstring aboutText(CoreStartupTest* test, DWORD pid, HWND window) {
  (void)test;
  PostMessageW(window, WM_SYSCOMMAND, 0x10, 0);
  HWND about = nullptr;
  if (!waitUntil([&] { return (about = findDialog(pid, L"关于 Velmont")) != nullptr; }))
    return L"<no about box>";
  const std::wstring text = windowText(GetDlgItem(about, 1001));
  PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return text;
}

TEST_F(CoreStartupTest, VersionOf129CharactersIsShown) {
  const std::wstring version(129, L'5');
  setText(L"Version", version);
  Process* host = nullptr;
  HWND window = startRunningHost(L"-nokey", &host);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(aboutText(this, host->pid, window), L"Ambrel网银助手版本号：" + version);
}

TEST_F(CoreStartupTest, VersionOf130CharactersGivesTheFallbackText) {
  setText(L"Version", std::wstring(130, L'5'));
  Process* host = nullptr;
  HWND window = startRunningHost(L"-nokey", &host);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(aboutText(this, host->pid, window), L"Ambrel网银助手版本号：获取版本信息失败");
}

TEST_F(CoreStartupTest, WindowTitleAndStyle) {
  HWND window = startRunningHost(L"-nokey");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(windowText(window), kCaption);
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & WS_CAPTION & ~WS_BORDER);  // no title bar
  RECT rect = {};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 640);
  EXPECT_EQ(rect.bottom - rect.top, 400);
}

}  // namespace
}  // namespace orv::test
