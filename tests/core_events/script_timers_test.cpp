// The script timer: configuration read through real Lua, timer 1 on a real window running the
// callback on a fresh thread per tick, overlapping callbacks, and timer 1 killed on destroy.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "script_calls.h"
#include "script_events.h"
#include "script_timers.h"
#include "stand_in_window.h"

namespace orv::core {
namespace {

using test::ScriptCalls;
using test::StandInWindow;
using test::TestEngine;

const char kConfig[] = R"(
MSGcallbacks = {
  WM_TIMER = { { span = 50, callback = "OnTick" } },
  WM_DEVICECHANGE = { callback = "OnDevice" },
}
ticks = 0
function OnTick(a) ticks = ticks + 1; Record("tick", tostring(a)); return true end
function OnDevice(text) return true end
)";

const char kSlowConfig[] = R"(
MSGcallbacks = {
  WM_TIMER = { { span = 50, callback = "SlowTick" } },
  WM_DEVICECHANGE = { callback = "OnDevice" },
}
function SlowTick() Enter(); Nap("400"); Record("tick", ""); Leave(); return true end
function OnDevice(text) return true end
)";

TEST(ScriptTimerConfiguration, ReadsSpanAndCallbackNamesThroughTheEngine) {
  TestEngine engine(kConfig);
  ASSERT_TRUE(engine.loaded());
  EXPECT_EQ(readScriptTimerSpan(engine.get()), 50);
  const ScriptCallbackNames names = readScriptCallbackNames(engine.get());
  EXPECT_EQ(names.timer, "OnTick");
  EXPECT_EQ(names.device, "OnDevice");
}

TEST(ScriptTimerConfiguration, MissingEntriesReadAsZeroAndEmpty) {
  TestEngine engine("other = 1\n");
  ASSERT_TRUE(engine.loaded());
  EXPECT_EQ(readScriptTimerSpan(engine.get()), 0);
  const ScriptCallbackNames names = readScriptCallbackNames(engine.get());
  EXPECT_EQ(names.timer, "");
  EXPECT_EQ(names.device, "");
  StandInWindow window;
  EXPECT_FALSE(startScriptTimers(window.hwnd(), readScriptTimerSpan(engine.get())));
  EXPECT_FALSE(::KillTimer(window.hwnd(), kScriptTimerId));
}

TEST(ScriptTimer, EachTickRunsTheCallbackOnAThreadOfItsOwn) {
  TestEngine engine(kConfig);
  ASSERT_TRUE(engine.loaded());
  ScriptEvents events(engine.get());
  StandInWindow window;
  window.setEvents(&events);
  events.readCallbackNames();
  ASSERT_TRUE(events.startTimers(window.hwnd()));
  ASSERT_TRUE(
      StandInWindow::pumpUntil([] { return ScriptCalls::instance().callsOf("tick").size() >= 5; }));
  events.onDestroy(window.hwnd());
  StandInWindow::pumpFor(300);  // tick threads already started reach the engine
  EXPECT_FALSE(::KillTimer(window.hwnd(), kScriptTimerId)) << "timer 1 was killed";
  EXPECT_TRUE(::KillTimer(window.hwnd(), kSettleTimerId)) << "timer 2 runs beside it";
  for (const auto& call : ScriptCalls::instance().callsOf("tick")) {
    EXPECT_NE(call.thread, ::GetCurrentThreadId()) << "never on the window's thread";
    EXPECT_EQ(call.argument, "nil") << "the callback gets no argument";
  }
  EXPECT_GE(window.timerMessages(kScriptTimerId), 5);
}

TEST(ScriptTimer, ACallbackLongerThanTheSpanOverlapsTheNextOne) {
  TestEngine engine(kSlowConfig);
  ASSERT_TRUE(engine.loaded());
  ScriptEvents events(engine.get());
  StandInWindow window;
  window.setEvents(&events);
  events.readCallbackNames();
  ASSERT_TRUE(events.startTimers(window.hwnd()));
  EXPECT_TRUE(StandInWindow::pumpUntil([] { return ScriptCalls::instance().maxActive() >= 2; }))
      << "no two callbacks ever ran at once";
  events.onDestroy(window.hwnd());
  // Tick threads already started must enter the engine before it goes (it then waits for them).
  StandInWindow::pumpFor(1000);
  std::printf("at most %d timer callbacks ran at once\n", ScriptCalls::instance().maxActive());
}

TEST(ScriptTimer, RunTimerCallbackOnNewThreadCallsTheNamedFunction) {
  TestEngine engine(kConfig);
  ASSERT_TRUE(engine.loaded());
  ASSERT_TRUE(runTimerCallbackOnNewThread(engine.get(), "OnTick"));
  ASSERT_TRUE(
      StandInWindow::pumpUntil([] { return ScriptCalls::instance().callsOf("tick").size() == 1; }));
  EXPECT_FALSE(runTimerCallbackOnNewThread(nullptr, "OnTick"));
}

}  // namespace
}  // namespace orv::core
