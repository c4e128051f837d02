// Device events reaching the script: real DEV_BROADCAST records sent to a real window as
// WM_DEVICECHANGE, the settling timer, the device callback run by real Lua, and the registrations
// for the CD-ROM and HID interface classes.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device_events.h"
#include "device_record.h"
#include "script_calls.h"
#include "script_events.h"
#include "stand_in_window.h"

namespace orv::core {
namespace {

using test::interfaceRecord;
using test::ScriptCalls;
using test::StandInWindow;
using test::TestEngine;

const char kConfig[] = R"(
MSGcallbacks = {
  WM_TIMER = { { span = 100, callback = "OnTick" } },
  WM_DEVICECHANGE = { callback = "OnDevice" },
}
ticks = 0
function OnTick() ticks = ticks + 1; return true end
function OnDevice(text) Record("device", text); return true end
function Flush() Record("flush", ""); return true end
)";

const char kSpanZeroConfig[] = R"(
MSGcallbacks = {
  WM_TIMER = { { span = 0, callback = "OnTick" } },
  WM_DEVICECHANGE = { callback = "OnDevice" },
}
ticks = 0
function OnTick() ticks = ticks + 1; Record("tick", ""); return true end
function OnDevice(text) Record("device", text); return true end
)";

const std::wstring kHidName =
    L"\\\\?\\HID#VID_046D&PID_C52B&MI_00#7&2A3F1B&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class DeviceEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.loaded());
    ASSERT_NE(window_.hwnd(), nullptr);
    events_.readCallbackNames();
    events_.devices().setDebugOutput([this](const char* text) { debug_.push_back(text); });
    events_.resetDeviceState();
    window_.setEvents(&events_);
  }
  LRESULT send(UINT code, const std::vector<unsigned char>& record) {
    return ::SendMessageW(window_.hwnd(), WM_DEVICECHANGE, code,
                          reinterpret_cast<LPARAM>(record.data()));
  }
  void tick() { ::SendMessageW(window_.hwnd(), WM_TIMER, kSettleTimerId, 0); }
  // The deliveries so far: all queued ones have run once a call queued after them has. The
  // flushes are counted before the queueing, since the engine's worker may run it at once.
  std::vector<test::ScriptCall> deliveredSoFar() {
    const size_t flushes = ScriptCalls::instance().callsOf("flush").size();
    EXPECT_TRUE(engine_.get()->KavrelFunc(2, "Flush", nullptr));
    EXPECT_TRUE(StandInWindow::pumpUntil([flushes] {
      return ScriptCalls::instance().callsOf("flush").size() > flushes;
    })) << "the queued Flush never ran; recorded calls: "
        << recorded();
    return ScriptCalls::instance().callsOf("device");
  }
  static std::string recorded() {
    std::string list;
    for (const auto& c : ScriptCalls::instance().calls()) list += c.what + "(" + c.argument + ") ";
    return list.empty() ? "none" : list;
  }

  TestEngine engine_{kConfig};
  std::int64_t now_ = 1700000000;
  ScriptEvents events_{engine_.get(), [this] { return now_; }};
  StandInWindow window_;
  std::vector<std::string> debug_;
};

TEST(DeviceBroadcastRecord, OnlyADeviceInterfaceRecordHasAName) {
  EXPECT_FALSE(deviceInterfaceName(0));
  DEV_BROADCAST_VOLUME volume = {};
  volume.dbcv_size = sizeof(volume);
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 0x10;
  EXPECT_FALSE(deviceInterfaceName(reinterpret_cast<LPARAM>(&volume)));
  struct {
    DEV_BROADCAST_PORT_W port;
    wchar_t more[8];
  } port = {};
  port.port.dbcp_size = sizeof(port);
  port.port.dbcp_devicetype = DBT_DEVTYP_PORT;
  std::wcscpy(port.port.dbcp_name, L"COM3");
  EXPECT_FALSE(deviceInterfaceName(reinterpret_cast<LPARAM>(&port)));
  DEV_BROADCAST_HDR tooShort = {};
  tooShort.dbch_size = 4;
  tooShort.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  EXPECT_FALSE(deviceInterfaceName(reinterpret_cast<LPARAM>(&tooShort)));

  auto record = interfaceRecord(L"\\\\?\\CdRom#X");
  auto name = deviceInterfaceName(reinterpret_cast<LPARAM>(record.data()));
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, L"\\\\?\\CdRom#X");
  // The record's size bounds the name even when no terminating zero lies inside it.
  auto* r = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
  r->dbcc_size = static_cast<DWORD>(offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                    3 * sizeof(wchar_t));
  EXPECT_EQ(*deviceInterfaceName(reinterpret_cast<LPARAM>(record.data())), L"\\\\?");
}

TEST(DeviceBroadcastRecord, NamesAreLowerCasedInTheCodePage) {
  EXPECT_EQ(lowerCaseAnsiName(L"\\\\?\\HID#VID_046D"), "\\\\?\\hid#vid_046d");
  EXPECT_EQ(lowerCaseAnsiName(L""), "");
}

TEST_F(DeviceEvents, ArrivalIsDeliveredLowerCasedAtTheFirstTickAtOrAfterTPlus3) {
  now_ += 7;
  const std::int64_t t = now_;
  EXPECT_EQ(send(DBT_DEVICEARRIVAL, interfaceRecord(kHidName)), TRUE);
  EXPECT_TRUE(events_.devices().state().pending());
  for (int s = 0; s <= 2; ++s) {
    now_ = t + s;
    tick();
    EXPECT_TRUE(events_.devices().state().pending()) << "second " << s;
  }
  EXPECT_TRUE(deliveredSoFar().empty());
  now_ = t + 3;
  tick();
  EXPECT_FALSE(events_.devices().state().pending());
  auto delivered = deliveredSoFar();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].argument, deviceEventText(lowerCaseAnsiName(kHidName), "insert"));
  EXPECT_NE(delivered[0].argument.find("\\\\\\\\?\\\\hid#vid_046d&pid_c52b"), std::string::npos)
      << delivered[0].argument;
  EXPECT_EQ(delivered[0].argument.find("HID"), std::string::npos);
  EXPECT_EQ(debug_, (std::vector<std::string>{
                        "time within 2 secondes  pass", "time within 2 secondes  pass",
                        "time within 2 secondes  pass", "time over 2 seconds  run DeviceChange"}));
  tick();
  EXPECT_EQ(debug_.back(), "no device changed");
  EXPECT_EQ(deliveredSoFar().size(), 1u);
}

TEST_F(DeviceEvents, PlugAndPullWithinTwoSecondsDeliversOneMove) {
  send(DBT_DEVICEARRIVAL, interfaceRecord(kHidName));
  now_ += 1;
  tick();
  now_ += 1;
  send(DBT_DEVICEREMOVECOMPLETE, interfaceRecord(kHidName));
  for (int s = 0; s < 6; ++s) {
    tick();
    now_ += 1;
  }
  auto delivered = deliveredSoFar();
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].argument, deviceEventText(lowerCaseAnsiName(kHidName), "move"));
}

TEST_F(DeviceEvents, AClockSetBackDelaysDeliveryUntilItCatchesUp) {
  const std::int64_t t = now_;
  send(DBT_DEVICEARRIVAL, interfaceRecord(L"\\\\?\\cdrom#a"));
  now_ = t - 86400;
  tick();
  now_ = t + 2;
  tick();
  EXPECT_TRUE(deliveredSoFar().empty());
  now_ = t + 3;
  tick();
  EXPECT_EQ(deliveredSoFar().size(), 1u);
}

TEST_F(DeviceEvents, VolumeAndPortBroadcastsChangeNothing) {
  // Deliver one event first, so that a pending flag wrongly set would deliver it again.
  send(DBT_DEVICEARRIVAL, interfaceRecord(L"\\\\?\\cdrom#b"));
  now_ += 3;
  tick();
  ASSERT_EQ(deliveredSoFar().size(), 1u);
  const std::int64_t last = events_.devices().state().lastEventTime();
  const std::string text = events_.devices().state().pendingText();

  std::vector<unsigned char> volume(sizeof(DEV_BROADCAST_VOLUME), 0);
  auto* v = reinterpret_cast<DEV_BROADCAST_VOLUME*>(volume.data());
  v->dbcv_size = sizeof(DEV_BROADCAST_VOLUME);
  v->dbcv_devicetype = DBT_DEVTYP_VOLUME;
  v->dbcv_unitmask = 1u << 4;
  now_ += 1;
  EXPECT_EQ(send(DBT_DEVICEARRIVAL, volume), TRUE);
  EXPECT_EQ(send(DBT_DEVICEREMOVECOMPLETE, volume), TRUE);
  EXPECT_EQ(::SendMessageW(window_.hwnd(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0), TRUE);
  EXPECT_FALSE(events_.devices().state().pending());
  EXPECT_EQ(events_.devices().state().lastEventTime(), last);
  EXPECT_EQ(events_.devices().state().pendingText(), text);
  now_ += 10;
  tick();
  EXPECT_EQ(debug_.back(), "no device changed");
  EXPECT_EQ(deliveredSoFar().size(), 1u);
}

TEST_F(DeviceEvents, RealSettlingTimerDeliversThroughTheWindow) {
  ASSERT_TRUE(events_.startTimers(window_.hwnd()));
  send(DBT_DEVICEARRIVAL, interfaceRecord(L"\\\\?\\CDROM#Real"));
  now_ += 3;
  ASSERT_TRUE(StandInWindow::pumpUntil([] {
    return !ScriptCalls::instance().callsOf("device").empty();
  })) << "timer 2 never delivered";
  auto delivered = ScriptCalls::instance().callsOf("device");
  EXPECT_EQ(delivered[0].argument, deviceEventText("\\\\?\\cdrom#real", "insert"));
  EXPECT_GE(window_.timerMessages(kSettleTimerId), 1);
  events_.onDestroy(window_.hwnd());
  EXPECT_FALSE(::KillTimer(window_.hwnd(), kScriptTimerId)) << "timer 1 is killed on destroy";
}

TEST(DeviceEventsSpanZero, NoCallbackEverRuns) {
  TestEngine engine(kSpanZeroConfig);
  ASSERT_TRUE(engine.loaded());
  std::int64_t now = 1700000000;
  ScriptEvents events(engine.get(), [&now] { return now; });
  StandInWindow window;
  window.setEvents(&events);
  events.readCallbackNames();
  EXPECT_EQ(events.callbackNames().device, "OnDevice");
  EXPECT_FALSE(events.startTimers(window.hwnd()));
  events.resetDeviceState();
  auto record = interfaceRecord(L"\\\\?\\HID#Zero");
  ::SendMessageW(window.hwnd(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                 reinterpret_cast<LPARAM>(record.data()));
  now += 10;
  EXPECT_TRUE(events.devices().state().pending()) << "collected, never delivered";
  StandInWindow::pumpFor(2500);  // longer than one settling period
  EXPECT_EQ(window.timerMessages(kScriptTimerId), 0);
  EXPECT_EQ(window.timerMessages(kSettleTimerId), 0);
  EXPECT_FALSE(::KillTimer(window.hwnd(), kScriptTimerId));
  EXPECT_FALSE(::KillTimer(window.hwnd(), kSettleTimerId));
  EXPECT_TRUE(ScriptCalls::instance().calls().empty());
  EXPECT_EQ(engine.value("ticks"), "0");
}

TEST(DeviceNotificationRegistration, RegistersTheCdromAndHidClassesAndUnregistersThem) {
  StandInWindow window;
  DeviceNotifications notifications;
  const size_t kept = notifications.registerInterfaces(window.hwnd());
  if (kept == 0) GTEST_SKIP() << "RegisterDeviceNotificationW returned no handle on this system";
  EXPECT_EQ(kept, 2u);
  EXPECT_EQ(notifications.handles().capacity(), 2u);
  for (void* h : notifications.handles().items()) EXPECT_NE(h, nullptr);
  notifications.unregisterAll();
  EXPECT_EQ(notifications.handles().count(), 0u);
}

}  // namespace
}  // namespace orv::core
