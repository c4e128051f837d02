// The core host's command pipe with real clients: in-process writers and separate client
// processes, the default handler acting on a real window and real Lua, a real message box closed
// by the test, and a stand-in core host process that QuitCmd ends with exit code 0.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core_command_handler.h"
#include "core_pipe_server.h"
#include "core_texts.h"
#include "pipe_client.h"
#include "pipe_message.h"
#include "processes.h"
#include "product.h"
#include "ansi_text.h"
#include "security_attributes.h"
#include "script_calls.h"
#include "stand_in_window.h"
#include "scoped_handle.h"

namespace orv::core {
namespace {

using test::ScriptCalls;
using test::StandInWindow;
using test::TestEngine;

const std::u16string kPrefix = u"AssistantOrvalinex";

const char kConfig[] = R"(
answer = true
asked = 0
function OnTrayRunCore(a) asked = asked + 1; Record("OnTrayRunCore", a); return answer end
function SetAnswer(a) answer = (a == "true"); return true end
)";

std::wstring uniquePipeName() {
  static int counter = 0;
  return L"\\\\.\\pipe\\AssistantOrvalinexTest" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
         std::to_wstring(++counter);
}

// Records what reached the program's handler: each command the table ran, with its argument.
class RecordingHandler {
 public:
  using Handled = std::pair<std::u16string, std::u16string>;
  // The server's callback: the core host's table on `handler`, then the record.
  PipeServer::MessageCallback around(CoreCommandHandler& handler) {
    return [this, &handler](const PipeMessage& message) {
      if (!runPipeCommand(kCoreCommands, handler, message)) return;
      std::lock_guard<std::mutex> g(mutex_);
      handled_.push_back({message.command, message.argument});
    };
  }
  std::vector<Handled> handled() const {
    std::lock_guard<std::mutex> g(mutex_);
    return handled_;
  }
  size_t count() const { return handled().size(); }

 private:
  mutable std::mutex mutex_;
  std::vector<Handled> handled_;
};

class CorePipe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.loaded());
    ASSERT_NE(window_.hwnd(), nullptr);
    options_.name = name_;
    options_.pauseMs = 20;
    server_ = std::make_unique<PipeServer>(options_, recorder_.around(handler_));
    ASSERT_TRUE(server_->create());
    thread_ = std::thread([this] { server_->run(); });
  }
  void TearDown() override {
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
  }

  // Writes from a thread of its own while this thread keeps handling the window's messages (the
  // handler's window calls are sent to this thread).
  bool write(const std::string& bytes) {
    std::atomic<int> result{-1};
    std::thread client([&] { result = writePipeMessage(name_, bytes, 30000) ? 1 : 0; });
    StandInWindow::pumpUntil([&] { return result.load() != -1; });
    client.join();
    return result == 1;
  }
  bool send(const std::u16string& command, const std::u16string& argument = u"",
            bool separator = true) {
    return write(pipeMessageBytes(kPrefix, command, argument, separator));
  }
  // Waits until the server has read `n` messages and handled what they asked for.
  void waitForRead(long n) {
    ASSERT_TRUE(StandInWindow::pumpUntil([&] { return server_->messagesRead() >= n; }));
  }
  // Sends a good message and waits until it was handled: proof that everything before it was
  // read and dealt with, and that the server still answers.
  void sendMarkerAndWait() {
    const size_t before = recorder_.count();
    ASSERT_TRUE(send(u"UserConfirmCmd", u"marker"));
    ASSERT_TRUE(StandInWindow::pumpUntil([&] { return recorder_.count() > before; }));
    auto last = recorder_.handled().back();
    EXPECT_EQ(last.first, u"UserConfirmCmd");
    EXPECT_EQ(last.second, u"marker");
  }
  void minimise() {
    ::ShowWindow(window_.hwnd(), SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(window_.hwnd()));
  }

  TestEngine engine_{kConfig};
  StandInWindow window_;
  DefaultCoreCommandHandler handler_{window_.hwnd(), engine_.get()};
  RecordingHandler recorder_;
  std::wstring name_ = uniquePipeName();
  PipeServerOptions options_ = corePipeOptions();
  std::unique_ptr<PipeServer> server_;
  std::thread thread_;
};

TEST(CorePipeOptions, AreTheProgramsNameSecurityAndPause) {
  const PipeServerOptions o = corePipeOptions();
  EXPECT_EQ(o.name, L"\\\\.\\pipe\\AssistantOrvalinex");
  EXPECT_EQ(o.pauseMs, 500u);
  EXPECT_TRUE(o.rejectRemoteClients);
  EXPECT_EQ(o.security, processSecurityAttributes().forCreate());
}

TEST_F(CorePipe, PopAssWhileNotMinimisedNeitherAsksTheScriptNorChangesTheWindow) {
  ::ShowWindow(window_.hwnd(), SW_SHOWNORMAL);
  RECT before = {};
  ::GetWindowRect(window_.hwnd(), &before);
  ASSERT_TRUE(send(u"PopAss"));
  sendMarkerAndWait();
  EXPECT_EQ(recorder_.handled().front().first, u"PopAss");
  EXPECT_EQ(engine_.value("asked"), "0");
  RECT after = {};
  ::GetWindowRect(window_.hwnd(), &after);
  EXPECT_TRUE(::EqualRect(&before, &after));
}

TEST_F(CorePipe, PopAssWhileMinimisedAsksTheScriptAndRestoresOnTrue) {
  minimise();
  ASSERT_TRUE(send(u"PopAss", u"", false));
  sendMarkerAndWait();
  EXPECT_EQ(engine_.value("asked"), "1");
  auto asked = ScriptCalls::instance().callsOf("OnTrayRunCore");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].argument, "true");
  EXPECT_NE(asked[0].thread, ::GetCurrentThreadId()) << "asked on the pipe thread";
  EXPECT_FALSE(::IsIconic(window_.hwnd()));
  EXPECT_TRUE(::IsWindowVisible(window_.hwnd()));
  EXPECT_EQ(::GetWindowLongW(window_.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0)
      << "brought to the front, not left topmost";
}

TEST_F(CorePipe, PopAssWhileMinimisedStaysMinimisedOnFalse) {
  ASSERT_TRUE(engine_.get()->KavrelFunc(1, "SetAnswer", "false"));
  minimise();
  ASSERT_TRUE(send(u"PopAss"));
  sendMarkerAndWait();
  EXPECT_EQ(engine_.value("asked"), "1");
  EXPECT_TRUE(::IsIconic(window_.hwnd()));
}

TEST_F(CorePipe, QuitCmdWithAndWithoutSeparatorSendsWmQuitToTheWindow) {
  ASSERT_TRUE(send(u"QuitCmd", u"anything"));
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return window_.quitMessages() == 1; }));
  ASSERT_TRUE(send(u"QuitCmd", u"", false));
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return window_.quitMessages() == 2; }));
  sendMarkerAndWait();
  EXPECT_EQ(window_.quitMessages(), 2);
}

TEST_F(CorePipe, OtherLetterCaseAndUnknownCommandsAreIgnored) {
  ASSERT_TRUE(send(u"quitcmd"));
  ASSERT_TRUE(send(u"QUITCMD", u"", false));
  ASSERT_TRUE(send(u"popass"));
  ASSERT_TRUE(send(u"UpdatePopCmd"));
  sendMarkerAndWait();
  EXPECT_EQ(recorder_.count(), 1u);
  EXPECT_EQ(window_.quitMessages(), 0);
}

TEST_F(CorePipe, TwoCommandsInOneWriteAreOneMessage) {
  minimise();
  ASSERT_TRUE(write(pipeMessageBytes(kPrefix, u"PopAss") + pipeMessageBytes(kPrefix, u"QuitCmd")));
  sendMarkerAndWait();
  auto handled = recorder_.handled();
  ASSERT_EQ(handled.size(), 2u);
  EXPECT_EQ(handled[0].first, u"PopAss");
  EXPECT_EQ(handled[0].second, kPrefix + u"QuitCmd||");
  EXPECT_EQ(window_.quitMessages(), 0);
}

TEST_F(CorePipe, MalformedMessagesAreIgnoredAndTheServerAnswersTheNextGoodOne) {
  // 17 characters (shorter than the prefix), then an empty message.
  ASSERT_TRUE(write(pipeMessageBytes(u"AssistantOrvaQuit", u"", u"", false)));
  sendMarkerAndWait();
  ASSERT_TRUE(write(std::string()));
  sendMarkerAndWait();
  // 1,024 characters: fills the read buffer and is ignored, not cut to its command.
  std::u16string arg(1024 - kPrefix.size() - 9, u'x');
  const std::string full = pipeMessageBytes(kPrefix, u"QuitCmd", arg);
  ASSERT_EQ(full.size(), 2048u);
  ASSERT_TRUE(write(full));
  sendMarkerAndWait();
  // Longer still: the rest beyond the read is discarded with the connection (the client's write
  // may then fail, since the server never reads the rest).
  (void)write(pipeMessageBytes(kPrefix, u"QuitCmd", std::u16string(3000, u'y')));
  sendMarkerAndWait();
  // 1,023 characters are a message.
  ASSERT_TRUE(write(pipeMessageBytes(kPrefix, u"UserConfirmCmd",
                                     std::u16string(1023 - kPrefix.size() - 16, u'z'))));
  sendMarkerAndWait();
  auto handled = recorder_.handled();
  ASSERT_EQ(handled.size(), 6u);
  EXPECT_EQ(handled[4].second.size(), 1023u - kPrefix.size() - 16u);
  EXPECT_EQ(window_.quitMessages(), 0);
}

HWND findDownloadErrorBox() {
  HWND box = ::FindWindowW(L"#32770", kProductName);
  return box;
}

BOOL CALLBACK appendChildText(HWND child, LPARAM p) {
  wchar_t text[256] = {};
  ::GetWindowTextW(child, text, 256);
  *reinterpret_cast<std::wstring*>(p) += text;
  *reinterpret_cast<std::wstring*>(p) += L"\n";
  return TRUE;
}

std::wstring allTextOf(HWND window) {
  std::wstring all;
  ::EnumChildWindows(window, appendChildText, reinterpret_cast<LPARAM>(&all));
  return all;
}

TEST_F(CorePipe, ABurstOfClientsWaitsWhileTheDownloadErrorBoxIsOpen) {
  ASSERT_TRUE(send(u"DownLoadErrorCmd"));
  HWND box = nullptr;
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return (box = findDownloadErrorBox()) != nullptr; }))
      << "no message box appeared";
  EXPECT_NE(allTextOf(box).find(kDownloadFailedText), std::wstring::npos) << "box text";
  EXPECT_EQ(::GetWindow(box, GW_OWNER), nullptr) << "the box has no owner";
  const long readBefore = server_->messagesRead();

  constexpr int kClients = 6;
  std::atomic<int> ok{0}, done{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      if (writePipeMessage(
              name_, pipeMessageBytes(kPrefix, u"UserConfirmCmd", std::u16string(1, u'a' + i)),
              60000))
        ++ok;
      ++done;
    });
  }
  StandInWindow::pumpFor(500);
  EXPECT_EQ(server_->messagesRead(), readBefore) << "nothing is read while the box is open";
  EXPECT_EQ(recorder_.count(), 0u);

  ::PostMessageW(box, WM_COMMAND, IDOK, 0);  // the user presses OK
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return done.load() == kClients; }));
  for (auto& c : clients) c.join();
  EXPECT_EQ(ok.load(), kClients);
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return recorder_.count() == 1u + kClients; }));
  auto handled = recorder_.handled();
  EXPECT_EQ(handled[0].first, u"DownLoadErrorCmd");
  for (int i = 1; i <= kClients; ++i) EXPECT_EQ(handled[i].first, u"UserConfirmCmd");
  sendMarkerAndWait();
}

std::wstring toolPath(const char* path) {
  std::string p(path);
  std::wstring w = L"Z:";
  for (char c : p) w += (c == '/') ? L'\\' : static_cast<wchar_t>(c);
  return w;
}

DWORD runProcess(const std::wstring& commandLine, DWORD limitMs, HANDLE* keep = nullptr) {
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!orv::test::createProcess(nullptr, commandLine, false, 0, nullptr, si, pi)) return 0xFFFFFFFF;
  ScopedHandle thread(pi.hThread);
  if (keep) {
    *keep = pi.hProcess;
    return 0;
  }
  ScopedHandle process(pi.hProcess);
  if (::WaitForSingleObject(process.get(), limitMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 99);
    return 0xFFFFFFFE;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process.get(), &code);
  return code;
}

TEST_F(CorePipe, ClientsInOtherProcessesAreServed) {
  const std::wstring client = L"\"" + toolPath(ORV_PIPE_CLIENT) + L"\" " + name_;
  std::atomic<DWORD> code{0xFFFF};
  std::thread t([&] { code = runProcess(client + L" UserConfirmCmd fromOutside", 60000); });
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return code.load() != 0xFFFF; }, 90000));
  t.join();
  EXPECT_EQ(code.load(), 0u);
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return recorder_.count() == 1; }));
  EXPECT_EQ(recorder_.handled()[0].second, u"fromOutside");

  minimise();
  code = 0xFFFF;
  std::thread t2([&] { code = runProcess(client + L" PopAss -", 60000); });
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return code.load() != 0xFFFF; }, 90000));
  t2.join();
  EXPECT_EQ(code.load(), 0u);
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return recorder_.count() == 2; }));
  EXPECT_FALSE(::IsIconic(window_.hwnd()));
}

// A client process running at low integrity (as a browser's protected mode runs) still reaches
// the pipe created with the process-wide low-integrity attributes.
TEST_F(CorePipe, ALowIntegrityClientProcessIsServed) {
  HANDLE rawToken = nullptr;
  ASSERT_TRUE(::OpenProcessToken(
      ::GetCurrentProcess(),
      TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT, &rawToken));
  ScopedHandle token(rawToken);
  HANDLE rawLow = nullptr;
  ASSERT_TRUE(
      ::DuplicateTokenEx(token.get(), 0, nullptr, SecurityImpersonation, TokenPrimary, &rawLow));
  ScopedHandle low(rawLow);
  PSID lowSid = nullptr;
  ASSERT_TRUE(::ConvertStringSidToSidW(L"S-1-16-4096", &lowSid));
  ScopedLocalMemory sidOwner(lowSid);
  TOKEN_MANDATORY_LABEL label = {};
  label.Label.Attributes = SE_GROUP_INTEGRITY;
  label.Label.Sid = lowSid;
  if (!::SetTokenInformation(low.get(), TokenIntegrityLevel, &label,
                             sizeof(label) + ::GetLengthSid(lowSid)))
    GTEST_SKIP() << "the system cannot lower a token's integrity level (error " << ::GetLastError()
                 << ")";

  std::wstring cmd = L"\"" + toolPath(ORV_PIPE_CLIENT) + L"\" " + name_ + L" UserConfirmCmd low";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessAsUserW(low.get(), nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &si, &pi))
    GTEST_SKIP() << "cannot start a process with a low-integrity token (error " << ::GetLastError()
                 << ")";
  ScopedHandle process(pi.hProcess), thread(pi.hThread);
  ASSERT_TRUE(StandInWindow::pumpUntil(
      [&] { return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0; }, 90000));
  DWORD code = 99;
  ::GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0u);
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return recorder_.count() == 1; }));
  EXPECT_EQ(recorder_.handled()[0].second, u"low");
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The stand-in core host serves the program's own pipe name with the process-wide security
// attributes; QuitCmd ends it with exit code 0 through its window procedure.
void quitTheStandInHost(bool withSeparator) {
  test::ScriptFolder files;
  const std::string config = files.write("CoreConfig.lua", kConfig);
  const std::string log = files.dir() + "\\commands.log";
  ::DeleteFileA(log.c_str());  // a folder name may come again with a reused process id
  struct RemoveLog {
    std::string path;
    ~RemoveLog() { ::DeleteFileA(path.c_str()); }
  } removeLog{log};
  HANDLE raw = nullptr;
  ASSERT_EQ(runProcess(L"\"" + toolPath(ORV_PIPE_HOST) + L"\" \"" + toWide(config) + L"\" \"" +
                           toWide(log) + L"\"",
                       0, &raw),
            0u);
  ScopedHandle host(raw);
  ASSERT_TRUE(host.valid());
  auto guard = std::unique_ptr<void, void (*)(void*)>(host.get(), [](void* h) {
    if (::WaitForSingleObject(h, 0) == WAIT_TIMEOUT) ::TerminateProcess(h, 99);
  });

  ASSERT_TRUE(writePipeMessage(kCorePipeName, pipeMessageBytes(kPrefix, u"quitcmd"), 60000))
      << "host state " << ::WaitForSingleObject(host.get(), 0) << " error " << ::GetLastError();
  ASSERT_TRUE(writePipeMessage(kCorePipeName, pipeMessageBytes(kPrefix, u"UserConfirmCmd"), 60000));
  ASSERT_TRUE(StandInWindow::pumpUntil([&] { return readFile(log) == "UserConfirmCmd\n"; }))
      << "log: " << readFile(log);
  EXPECT_EQ(::WaitForSingleObject(host.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "a lower-case quitcmd must not end the host";

  ASSERT_TRUE(writePipeMessage(
      kCorePipeName, pipeMessageBytes(kPrefix, u"QuitCmd", u"bye", withSeparator), 60000));
  ASSERT_EQ(::WaitForSingleObject(host.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 99;
  ::GetExitCodeProcess(host.get(), &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(readFile(log), "UserConfirmCmd\nQuitCmd\n");
}

TEST(CorePipeHost, QuitCmdWithSeparatorEndsTheProcessWithExitCode0) { quitTheStandInHost(true); }
TEST(CorePipeHost, QuitCmdWithoutSeparatorEndsTheProcessWithExitCode0) {
  quitTheStandInHost(false);
}

TEST(CorePipeCreation, ASecondInstanceCannotBeCreatedAndTheServerGivesUp) {
  StandInWindow window;
  DefaultCoreCommandHandler handler(window.hwnd(), nullptr);
  RecordingHandler recorder;
  PipeServerOptions options = corePipeOptions();
  options.name = uniquePipeName();
  PipeServer first(options, recorder.around(handler));
  ASSERT_TRUE(first.create());
  PipeServer second(options, recorder.around(handler));
  EXPECT_FALSE(second.create()) << "one instance only";
  second.run();  // returns at once without a pipe
}

ScopedHandle openClient(const std::wstring& name) {
  return ScopedHandle(
      ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

// A client that comes and goes before the server waits makes that wait fail; a client that
// connects and sends nothing would hold the single instance. Both are let go, and the next
// client is served.
TEST(CorePipeCreation, HangUpsAndSilentClientsAreLetGoAndTheNextClientIsServed) {
  StandInWindow window;
  DefaultCoreCommandHandler handler(window.hwnd(), nullptr);
  RecordingHandler recorder;
  PipeServerOptions options = corePipeOptions();
  options.name = uniquePipeName();
  options.pauseMs = 0;
  options.readTimeoutMs = 300;
  PipeServer server(options, recorder.around(handler));
  ASSERT_TRUE(server.create());
  ASSERT_TRUE(openClient(options.name).valid());  // closed again at once
  std::thread thread([&] { server.run(); });

  ScopedHandle silent;
  ASSERT_TRUE(test::waitUntil([&] { return (silent = openClient(options.name)).valid(); }));
  ASSERT_TRUE(writePipeMessage(options.name, pipeMessageBytes(kPrefix, u"UserConfirmCmd"), 30000));
  EXPECT_TRUE(test::waitUntil([&] { return recorder.count() == 1; }));
  EXPECT_EQ(server.clientsDropped(), 2);
  // Asked to stop while it waits for the next client, it returns from that wait.
  server.stop();
  thread.join();
}

// The program's owner of the server thread ends the server while it waits for a client: the
// thread is over and the pipe's name free again.
TEST(CorePipeCreation, TheOwnerStopsTheServerWhileItWaits) {
  StandInWindow window;
  PipeServerOptions options = corePipeOptions();
  options.name = uniquePipeName();
  {
    const PipeServerThread pipe = startCorePipeServer(
        std::make_unique<DefaultCoreCommandHandler>(window.hwnd(), nullptr), options);
    ASSERT_TRUE(pipe);
    ASSERT_TRUE(test::waitUntil([&] { return ::WaitNamedPipeW(options.name.c_str(), 100); }));
  }
  ScopedHandle again(::CreateNamedPipeW(options.name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE,
                                        1, 0, 0, 0, nullptr));
  EXPECT_TRUE(again.valid()) << "the stopped server still holds the pipe";
}

}  // namespace
}  // namespace orv::core
