// Timer ticks, device events and the command pipe in the running core host: real pipe clients
// writing to the program's own pipe, device-interface broadcasts sent to its main window from
// this process, and the script's timer and device callbacks run by the program's Lua.
#include <windows.h>
#include <dbt.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core_installation.h"
#include "pipe_client.h"
#include "device_record.h"
#include "pipe_message.h"
#include "product.h"
#include "scoped_handle.h"

namespace orv::test {
namespace {

const std::u16string kPrefix = u"AssistantOrvalinex";
const wchar_t kCaption[] = L"Delmora网银助手";
const wchar_t kDownloadFailed[] = L"下载文件失败,停止更新";

// Each call of the scripts' callbacks appends to a file of its own: "asked.txt" for
// OnTrayRunCore (which answers true), "ticks.txt" for the timer, "devices.txt" for the device
// callback (its text ends with a line feed of its own).
std::string config(int spanMs) {
  return R"(
EnterHtml = "page.htm"
Width = 640
Height = 400
caption_width = 600
caption_height = 30
MSGcallbacks = {
  WM_TIMER = { { span = )" +
         std::to_string(spanMs) + R"(, callback = "OnTick" } },
  WM_DEVICECHANGE = { callback = "OnDevice" },
}
function Append(name, text)
  local f = io.open(name, "ab")
  f:write(text)
  f:close()
  return true
end
function OnTrayRunCore(arg) return Append("asked.txt", tostring(arg) .. "\n") end
-- While "slow.txt" exists a tick holds the engine for a second, ten spans.
function OnTick()
  local slow = io.open("slow.txt", "rb")
  if slow then
    slow:close()
    local stop = os.clock() + 1
    while os.clock() < stop do end
  end
  return Append("ticks.txt", "t")
end
function OnDevice(text) return Append("devices.txt", text) end
)";
}

const std::wstring kTokenName =
    L"\\\\?\\HID#VID_096E&PID_0702#6&1B2C3D&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const char kTokenNameLower[] =
    R"(\\\\?\\hid#vid_096e&pid_0702#6&1b2c3d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";

std::string deviceLine(const char* eventType) {
  return std::string(R"({"deviceName":")") + kTokenNameLower + R"(","eventType":")" + eventType +
         "\"}\n";
}

// A pipe client on a thread of its own: writes QuitCmd and counts a successful write.
DWORD WINAPI writeQuitCmd(void* written) {
  if (writePipeMessage(kCorePipeName, pipeMessageBytes(kPrefix, u"QuitCmd"), 10000))
    ++*static_cast<std::atomic<int>*>(written);
  return 0;
}

// How many threads process `pid` has now.
int threadCount(DWORD pid) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (snapshot.get() == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry))
    count += entry.th32OwnerProcessID == pid;
  return count;
}

class CoreProgramEventsTest : public RunningCoreTest {
 protected:
  // Installs the configuration with the given timer span and runs it.
  HWND runHost(int spanMs = 0) {
    install(config(spanMs));
    return run();
  }

  static bool write(const std::string& bytes) {
    return writePipeMessage(kCorePipeName, bytes, 30000);
  }
  static bool send(const std::u16string& command, const std::u16string& argument = u"",
                   bool separator = true) {
    return write(pipeMessageBytes(kPrefix, command, argument, separator));
  }

  LRESULT sendDeviceEvent(HWND window, WPARAM code, const std::vector<unsigned char>& record) {
    DWORD_PTR result = 0;
    EXPECT_NE(
        SendMessageTimeoutW(window, WM_DEVICECHANGE, code, reinterpret_cast<LPARAM>(record.data()),
                            SMTO_ABORTIFHUNG, 10000, &result),
        0);
    return static_cast<LRESULT>(result);
  }
};

TEST_F(CoreProgramEventsTest, PopAssBringsBackTheMinimisedWindowWhenTheScriptAgrees) {
  HWND window = runHost();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(minimiseWindow(window));
  ASSERT_TRUE(send(u"PopAss"));
  EXPECT_TRUE(waitUntil([&] { return fileText(L"asked.txt") == "true\n"; }))
      << fileText(L"asked.txt");
  EXPECT_TRUE(waitUntil([&] { return !IsIconic(window); })) << "the window stayed minimised";
}

TEST_F(CoreProgramEventsTest, PopAssLeavesAShownWindowAloneAndQuitCmdEndsTheProgram) {
  HWND window = runHost();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(send(u"PopAss", u"", false));
  ASSERT_TRUE(send(u"QuitCmd"));  // read only after PopAss was handled
  EXPECT_EQ(waitForExit(process_), 0u);
  EXPECT_EQ(fileText(L"asked.txt"), "") << "the script is asked only for a minimised window";
}

TEST_F(CoreProgramEventsTest, QuitCmdWithoutSeparatorEndsTheProgram) {
  ASSERT_NE(runHost(), nullptr);
  ASSERT_TRUE(send(u"QuitCmd", u"", false));
  EXPECT_EQ(waitForExit(process_), 0u);
}

TEST_F(CoreProgramEventsTest, MalformedMessagesAreIgnoredAndTheNextCommandIsServed) {
  HWND window = runHost();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(send(u"quitcmd"));
  // 17 characters, shorter than the pipe's own name, though they end in a command.
  const std::u16string seventeen = u"AssistantOQuitCmd";
  ASSERT_EQ(seventeen.size(), 17u);
  ASSERT_TRUE(write(pipeMessageBytes(u"", seventeen, u"", false)));
  // 1,024 characters fill the read: ignored, not cut down to a QuitCmd.
  std::u16string filling = u"QuitCmd||";
  filling += std::u16string(1024 - kPrefix.size() - filling.size(), u'a');
  ASSERT_TRUE(write(pipeMessageBytes(kPrefix, filling, u"", false)));
  ASSERT_TRUE(minimiseWindow(window));
  ASSERT_TRUE(send(u"PopAss"));
  EXPECT_TRUE(waitUntil([&] { return fileText(L"asked.txt") == "true\n"; }))
      << "the server stopped answering";
  EXPECT_TRUE(running()) << "an ignored message ended the program";
  ASSERT_TRUE(send(u"QuitCmd"));
  EXPECT_EQ(waitForExit(process_), 0u);
}

TEST_F(CoreProgramEventsTest, TwoCommandsInOneWriteAreOneMessage) {
  HWND window = runHost();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(minimiseWindow(window));
  // One message whose command is PopAss; the second name is only its argument.
  std::string both = pipeMessageBytes(kPrefix, u"PopAss") + pipeMessageBytes(kPrefix, u"QuitCmd");
  ASSERT_TRUE(write(both));
  EXPECT_TRUE(waitUntil([&] { return fileText(L"asked.txt") == "true\n"; }));
  // The pipe serves one client at a time and listens again only once a message's command has
  // run: the next client gets through after anything the write could have started.
  ASSERT_TRUE(send(u"Unknown"));
  EXPECT_TRUE(running()) << "the second command in the write was run";
}

TEST_F(CoreProgramEventsTest, DownloadErrorBoxHoldsBackLaterClientsUntilClosed) {
  ASSERT_NE(runHost(), nullptr);
  ASSERT_TRUE(send(u"DownLoadErrorCmd"));
  HWND box = nullptr;
  ASSERT_TRUE(waitUntil([&] {
    return (box = findMessageBox(process_.pid, kCaption, kDownloadFailed)) != nullptr;
  })) << "no message box appeared";
  EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "the box has no owner";

  // A burst of clients: none is served while the box is open.
  std::atomic<int> written{0};
  std::vector<ScopedHandle> clients;
  for (int i = 0; i < 3; ++i) {
    clients.emplace_back(CreateThread(nullptr, 0, writeQuitCmd, &written, 0, nullptr));
  }
  // The behaviour under test: the box stays open through this pause, and no waiting client may
  // be served meanwhile.
  Sleep(1500);
  EXPECT_TRUE(running()) << "a QuitCmd was served while the box was open";
  EXPECT_EQ(written.load(), 0);

  PostMessageW(box, WM_COMMAND, IDOK, 0);  // the user presses OK
  EXPECT_EQ(waitForExit(process_), 0u);
  // The clients still waiting find no pipe once the program has gone.
  for (auto& client : clients) WaitForSingleObject(client.get(), 15000);
  EXPECT_GE(written.load(), 1);
}

TEST_F(CoreProgramEventsTest, TimerCallbackRunsEverySpan) {
  ASSERT_NE(runHost(200), nullptr);
  EXPECT_TRUE(waitUntil([&] { return fileText(L"ticks.txt").size() >= 5; }))
      << fileText(L"ticks.txt");
}

// Ticks do not wait for the callback before them: while each one holds the engine for ten spans,
// the tick threads started meanwhile pile up waiting for it.
TEST_F(CoreProgramEventsTest, TimerCallbackLongerThanTheSpanOverlapsTheNextOnes) {
  ASSERT_NE(runHost(100), nullptr);
  ASSERT_TRUE(waitUntil([&] { return fileText(L"ticks.txt").size() >= 3; }));
  const int quick = threadCount(process_.pid);
  ASSERT_GT(quick, 0);
  install_->writeFile(L"slow.txt", "");
  int most = quick;
  waitUntil(
      [&] {
        most = std::max(most, threadCount(process_.pid));
        return most >= quick + 5;
      },
      10000);
  EXPECT_GE(most, quick + 5) << "threads: " << quick << " with quick ticks, at most " << most
                             << " with slow ones";
}

TEST_F(CoreProgramEventsTest, DeviceArrivalReachesTheScriptLowerCasedAfterItSettles) {
  HWND window = runHost(60000);
  ASSERT_NE(window, nullptr);
  const ULONGLONG sent = GetTickCount64();
  EXPECT_EQ(sendDeviceEvent(window, DBT_DEVICEARRIVAL, interfaceRecord(kTokenName)), TRUE);
  ASSERT_TRUE(waitUntil([&] { return !fileText(L"devices.txt").empty(); }, 15000))
      << "nothing delivered";
  // Three whole seconds of the clock separate the event and its delivery: over two of real time.
  EXPECT_GE(GetTickCount64() - sent, 2000u);
  Sleep(2500);  // the behaviour under test: one more tick of the settling timer adds nothing
  EXPECT_EQ(fileText(L"devices.txt"), deviceLine("insert"));
}

TEST_F(CoreProgramEventsTest, PlugAndPullWithinTwoSecondsDeliversOnlyThePull) {
  HWND window = runHost(60000);
  ASSERT_NE(window, nullptr);
  // A volume broadcast carries no interface name and changes nothing.
  DEV_BROADCAST_VOLUME volume = {};
  volume.dbcv_size = sizeof(volume);
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 1u << 4;
  std::vector<unsigned char> volumeRecord(
      reinterpret_cast<unsigned char*>(&volume),
      reinterpret_cast<unsigned char*>(&volume) + sizeof(volume));
  EXPECT_EQ(sendDeviceEvent(window, DBT_DEVICEARRIVAL, volumeRecord), TRUE);
  EXPECT_EQ(sendDeviceEvent(window, DBT_DEVICEARRIVAL, interfaceRecord(kTokenName)), TRUE);
  Sleep(500);  // the pull comes half a second after the plug, well within the two seconds
  EXPECT_EQ(sendDeviceEvent(window, DBT_DEVICEREMOVECOMPLETE, interfaceRecord(kTokenName)), TRUE);
  ASSERT_TRUE(waitUntil([&] { return !fileText(L"devices.txt").empty(); }, 15000))
      << "nothing delivered";
  Sleep(2500);  // the behaviour under test: one more tick of the settling timer adds nothing
  EXPECT_EQ(fileText(L"devices.txt"), deviceLine("move"));
}

TEST_F(CoreProgramEventsTest, SpanZeroRunsNoCallbacks) {
  HWND window = runHost(0);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(sendDeviceEvent(window, DBT_DEVICEARRIVAL, interfaceRecord(kTokenName)), TRUE);
  Sleep(5000);  // the behaviour under test: a span of 0 runs nothing, however long it runs
  EXPECT_TRUE(running());
  EXPECT_EQ(fileText(L"ticks.txt"), "");
  EXPECT_EQ(fileText(L"devices.txt"), "");
}

}  // namespace
}  // namespace orv::test
