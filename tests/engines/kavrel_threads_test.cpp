// Kavrel entered from several threads at once: the user-interface thread (with a real window that
// handles the page-call message 2024), the engine's own worker thread and fresh threads per tick.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Kavrel.h"
#include "engine_lock.h"
#include "lua_files.h"
#include "page_window.h"
#include "scoped_handle.h"

namespace {

using orv::ScopedHandle;
using orv::test::PageCall;
using orv::test::PageWindow;
using orv::test::ScriptFolder;

ScopedHandle makeEvent() { return ScopedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

// Host callbacks the scripts use to tell the test where they are.
HANDLE g_started = nullptr;
HANDLE g_done = nullptr;
int Started(const char*, const char*) {
  ::SetEvent(g_started);
  return 1;
}
int Done(const char*, const char*) {
  ::SetEvent(g_done);
  return 1;
}
std::atomic<DWORD> g_workerThread{0};
int WhereAmI(const char*, const char*) {
  g_workerThread = ::GetCurrentThreadId();
  return 1;
}

const char kScripts[] = R"(
uiCalls, nestedCalls, ticks, order = 0, 0, 0, ""
local function busy(seconds)  -- keeps this call inside the engine without leaving Lua
  local t = os.clock()
  while os.clock() - t < seconds do end
end
function Worker(a)
  Started()
  busy(0.3)
  CallJsFunc("onWorker", a)
  Done()
  return true
end
function UiCall(a) uiCalls = uiCalls + 1; return true end
function Nested(a) nestedCalls = nestedCalls + 1; return a == "from-page" end
function UiCallsPage(a) CallJsFunc("onUi", a); return nestedCalls > 0 end
function Tick(a)
  busy(0.01)
  ticks = ticks + 1
  CallJsFunc("onTick", tostring(ticks))
  return true
end
function Bump() local n = ticks; busy(0.001); ticks = n + 1; return true end
function Append(a) order = order .. a; WhereAmI(); return true end
function Get(name) return tostring(_G[name]) end
function Finish() Done(); return true end
function Echo(a) return a end
Name = "engine"
)";

class KavrelThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    started_ = makeEvent();
    done_ = makeEvent();
    g_started = started_.get();
    g_done = done_.get();
    ASSERT_EQ(DllGetClassFactoryObject(&factory_), 0);
    ASSERT_EQ(factory_->Createlua(&engine_), 0);
    ASSERT_EQ(engine_->InitCoreLuaEnv(files_.write("threads.lua", kScripts).c_str()), 1);
    engine_->DefFuncCharChar("CallJsFunc", PageWindow::CallJsFunc, nullptr);
    engine_->DefFuncCharChar("Started", Started, nullptr);
    engine_->DefFuncCharChar("Done", Done, nullptr);
    engine_->DefFuncCharChar("WhereAmI", WhereAmI, nullptr);
    ASSERT_NE(window_.hwnd(), nullptr);
  }
  void TearDown() override {
    if (factory_) factory_->Release();
  }
  std::string get(const char* name) { return KavrelFunc_Return<char*>(engine_, "Get", name); }

  ScriptFolder files_;
  PageWindow window_;
  ScopedHandle started_, done_;
  luaFactory* factory_ = nullptr;
  LuaObject* engine_ = nullptr;
};

// The case that must not deadlock: a script on the worker thread is inside the engine and calls
// CallJsFunc (sending 2024 to the window) while the user-interface thread is waiting to enter the
// engine for a synchronous call. The 2024 handler itself calls the engine again, as a page does
// when the called JavaScript function uses window.external.JsCallLuaFuncSyn.
TEST_F(KavrelThreads, UiThreadWaitingForTheEngineStillHandlesPageCalls) {
  bool nestedOutcome = false;
  window_.onCall = [&](const PageCall&) {
    nestedOutcome = engine_->KavrelFunc(1, "Nested", "from-page");
  };
  ASSERT_TRUE(engine_->KavrelFunc(2, "Worker", "w1"));
  ASSERT_EQ(::WaitForSingleObject(started_.get(), 60000), WAIT_OBJECT_0);
  // The worker is now busy inside Lua: this call has to wait for the engine.
  EXPECT_TRUE(engine_->KavrelFunc(1, "UiCall", "u"));
  ASSERT_TRUE(window_.pumpUntil(done_.get())) << "the worker never finished its page call";

  auto calls = window_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, "onWorker");
  EXPECT_EQ(calls[0].argument, "w1");
  EXPECT_EQ(calls[0].thread, ::GetCurrentThreadId()) << "2024 is handled on the window's thread";
  EXPECT_TRUE(nestedOutcome);
  EXPECT_EQ(get("uiCalls"), "1");
  EXPECT_EQ(get("nestedCalls"), "1");
}

// A synchronous call on the window's own thread whose script calls the page: the message is
// delivered directly and the handler may enter the engine again on the same thread.
TEST_F(KavrelThreads, PageCallFromASynchronousCallReentersOnTheSameThread) {
  window_.onCall = [&](const PageCall&) { engine_->KavrelFunc(1, "Nested", "from-page"); };
  EXPECT_TRUE(engine_->KavrelFunc(1, "UiCallsPage", "direct"));
  auto calls = window_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, "onUi");
  EXPECT_EQ(calls[0].argument, "direct");
}

// Timer ticks: a fresh thread per tick, each calling into the engine and then the page, while the
// user-interface thread keeps making synchronous calls of its own.
TEST_F(KavrelThreads, OverlappingTickThreadsAndUiCallsAllComplete) {
  constexpr int kTicks = 8, kUiCalls = 20;
  std::vector<std::thread> ticks;
  std::atomic<int> finished{0};
  ScopedHandle allDone = makeEvent();
  for (int i = 0; i < kTicks; ++i) {
    ticks.emplace_back([&] {
      EXPECT_TRUE(engine_->KavrelFunc(1, "Tick", nullptr));
      if (++finished == kTicks) ::SetEvent(allDone.get());
    });
  }
  for (int i = 0; i < kUiCalls; ++i) EXPECT_TRUE(engine_->KavrelFunc(1, "UiCall", "u"));
  ASSERT_TRUE(window_.pumpUntil(allDone.get()));
  for (auto& t : ticks) t.join();
  EXPECT_EQ(get("ticks"), std::to_string(kTicks));
  EXPECT_EQ(get("uiCalls"), std::to_string(kUiCalls));
  EXPECT_EQ(window_.calls().size(), static_cast<size_t>(kTicks));
  for (const auto& c : window_.calls()) EXPECT_EQ(c.thread, ::GetCurrentThreadId());
}

// Calls from many threads never interleave inside Lua: a read-modify-write with work in between
// loses no update.
TEST_F(KavrelThreads, SynchronousCallsAreSerialised) {
  constexpr int kThreads = 6, kCalls = 25;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&] {
      for (int j = 0; j < kCalls; ++j) EXPECT_TRUE(engine_->KavrelFunc(1, "Bump", nullptr));
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(get("ticks"), std::to_string(kThreads * kCalls));
}

// Each thread reads its own returned text, even while other threads are reading theirs.
TEST_F(KavrelThreads, ReturnedTextsBelongToTheirThread) {
  constexpr int kThreads = 6, kCalls = 40;
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      std::string mine = "thread" + std::to_string(i);
      for (int j = 0; j < kCalls; ++j) {
        const char* text = KavrelFunc_Return<char*>(engine_, "Echo", mine.c_str());
        ::Sleep(0);
        if (!text || mine != text) ++mismatches;
        wchar_t path[] = L"Name";
        const char* name = GetTableItemValue<char*>(engine_, path);
        if (!name || std::string(name) != "engine") ++mismatches;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// Mode 2 queues the call for the engine's worker thread and runs queued calls in order.
TEST_F(KavrelThreads, AsynchronousCallsRunInOrderOnTheWorkerThread) {
  g_workerThread = 0;
  EXPECT_TRUE(engine_->KavrelFunc(2, "Append", "a"));
  EXPECT_TRUE(engine_->KavrelFunc(2, "Append", "b"));
  EXPECT_TRUE(engine_->KavrelFunc(2, "NoSuchFunction", "x"));  // queued; fails when run
  EXPECT_TRUE(engine_->KavrelFunc(2, "Append", "c"));
  EXPECT_TRUE(engine_->KavrelFunc(2, "Finish", nullptr));
  ASSERT_EQ(::WaitForSingleObject(done_.get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(get("order"), "abc");
  EXPECT_NE(g_workerThread.load(), 0u);
  EXPECT_NE(g_workerThread.load(), ::GetCurrentThreadId());
  EXPECT_FALSE(engine_->KavrelFunc(2, nullptr, "x"));
}

TEST_F(KavrelThreads, AsynchronousScriptFilesRunOnTheWorkerThread) {
  std::string script = files_.write("async.lua", "order = order .. (...)\nFinish()\n");
  EXPECT_EQ(engine_->KavrelFile(2, script.c_str(), "z"), 1);
  ASSERT_EQ(::WaitForSingleObject(done_.get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(get("order"), "z");
  // A missing file is still queued (the result says "accepted"); running it fails quietly.
  EXPECT_EQ(engine_->KavrelFile(2, (files_.dir() + "\\none.lua").c_str(), ""), 1);
  EXPECT_EQ(engine_->KavrelFile(2, nullptr, ""), 0);
}

// Releasing the factory from the window's thread (as WM_DESTROY does) while the worker is sending
// a page call: the release waits for the worker and keeps handling the message meanwhile.
TEST_F(KavrelThreads, ReleaseWhileTheWorkerSendsAPageCallDoesNotDeadlock) {
  ASSERT_TRUE(engine_->KavrelFunc(2, "Worker", "last"));
  ASSERT_EQ(::WaitForSingleObject(started_.get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(factory_->Release(), 0u);
  factory_ = nullptr;
  auto calls = window_.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].argument, "last");
  EXPECT_EQ(::WaitForSingleObject(done_.get(), 0), WAIT_OBJECT_0);
  EXPECT_FALSE(engine_->KavrelFunc(1, "UiCall", "u"));
}

// The lock itself: a thread waiting for it dispatches messages sent to it. The holder sends before
// it releases, so the wait can only end if the message was handled during it.
TEST(EngineLock, WaitingThreadHandlesSentMessages) {
  PageWindow window;
  ASSERT_NE(window.hwnd(), nullptr);
  orv::kavrel::EngineLock lock;
  ScopedHandle held = makeEvent();
  std::thread holder([&] {
    lock.lock();
    ::SetEvent(held.get());
    PageWindow::CallJsFunc("whileHeld", "x");
    lock.unlock();
  });
  ASSERT_EQ(::WaitForSingleObject(held.get(), 60000), WAIT_OBJECT_0);
  lock.lock();
  auto calls = window.calls();
  lock.unlock();
  holder.join();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].function, "whileHeld");
  EXPECT_EQ(calls[0].thread, ::GetCurrentThreadId());
}

TEST(EngineLock, IsRecursiveAndCanBeLent) {
  orv::kavrel::EngineLock lock;
  lock.lock();
  lock.lock();
  EXPECT_EQ(lock.depthOfCaller(), 2);
  int depth = lock.suspend();
  EXPECT_EQ(depth, 2);
  EXPECT_EQ(lock.depthOfCaller(), 0);
  bool otherRan = false;
  std::thread other([&] {
    orv::kavrel::EngineLockGuard g(lock);  // free while lent
    otherRan = true;
  });
  other.join();
  EXPECT_TRUE(otherRan);
  lock.resume(depth);
  EXPECT_EQ(lock.depthOfCaller(), 2);
  lock.unlock();
  lock.unlock();
  EXPECT_EQ(lock.depthOfCaller(), 0);
  EXPECT_EQ(lock.suspend(), 0) << "nothing to lend when not held";
}

}  // namespace
