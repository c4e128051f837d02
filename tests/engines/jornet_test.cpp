// Jornet calling real JavaScript (Wine's JScript engine) through a stand-in page document, and the
// whole answer path: Lua on the worker thread -> CallJsFunc -> message 2024 -> Jornet -> page.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <memory>
#include <string>

#include "Jornet.h"
#include "Kavrel.h"
#include "jscript_host.h"
#include "lua_files.h"
#include "page_window.h"
#include "scoped_handle.h"

namespace {

using orv::test::JScriptHost;
using orv::test::PageCall;
using orv::test::PageWindow;

const wchar_t kPage[] =
    LR"(
var last = "", calls = 0;
function show(a) { calls++; last = "show:" + a; }
function kind(a) { calls++; last = (a === null) ? "null" : typeof a; }
function boom(a) { throw new Error("broken page function"); }
var notAFunction = 3;
)";

std::wstring ansiToWide(const char* text) {
  wchar_t buffer[256] = {};
  ::MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, 256);
  return buffer;
}

class Jornet : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    com_ = true;
    host_.reset(new JScriptHost);
    if (!host_->ok()) GTEST_SKIP() << "no JScript engine on this system";
    ASSERT_EQ(host_->run(kPage), S_OK)
        << std::string(host_->lastError().begin(), host_->lastError().end());
    orv::ComPtr<IDispatch> document = host_->makeDocument();
    ASSERT_TRUE(document);
    ASSERT_EQ(JornetInitJsEnv(document.get()), 1);
    // The test drops its own reference: the library keeps the document alive.
  }
  void TearDown() override {
    host_.reset();
    if (com_) ::CoUninitialize();
  }
  std::wstring last() { return host_->globalText(L"last"); }

  bool com_ = false;
  std::unique_ptr<JScriptHost> host_;
};

TEST_F(Jornet, CallsThePagesFunctionWithTheArgument) {
  EXPECT_EQ(JornetCallJsFunc("show", "hello"), 1);
  EXPECT_EQ(last(), L"show:hello");
  EXPECT_EQ(JornetCallJsFunc("show", ""), 1);
  EXPECT_EQ(last(), L"show:");
  EXPECT_EQ(host_->globalText(L"calls"), L"2");
}

TEST_F(Jornet, PassesANullArgumentAsNull) {
  EXPECT_EQ(JornetCallJsFunc("kind", nullptr), 1);
  EXPECT_EQ(last(), L"null");
  EXPECT_EQ(JornetCallJsFunc("kind", "x"), 1);
  EXPECT_EQ(last(), L"string");
}

TEST_F(Jornet, ConvertsTextFromTheAnsiCodePage) {
  const char text[] = "caf\xE9 \x41";
  EXPECT_EQ(JornetCallJsFunc("show", text), 1);
  EXPECT_EQ(last(), L"show:" + ansiToWide(text));
}

TEST_F(Jornet, ReportsFunctionsThatAreMissingOrFail) {
  EXPECT_EQ(JornetCallJsFunc("noSuchFunction", "x"), 0);
  EXPECT_EQ(JornetCallJsFunc("boom", "x"), 0);
  EXPECT_EQ(JornetCallJsFunc("notAFunction", "x"), 0);
  EXPECT_EQ(JornetCallJsFunc(nullptr, "x"), 0);
  EXPECT_EQ(JornetCallJsFunc("", "x"), 0);
  EXPECT_EQ(host_->globalText(L"calls"), L"0");
}

TEST_F(Jornet, ANullDocumentIsRefusedAndTheKeptOneStays) {
  EXPECT_EQ(JornetInitJsEnv(nullptr), 0);
  EXPECT_EQ(JornetCallJsFunc("show", "still"), 1);
  EXPECT_EQ(last(), L"show:still");
}

TEST_F(Jornet, ALaterDocumentReplacesTheKeptOne) {
  JScriptHost second;
  ASSERT_EQ(second.run(L"var last = ''; function show(a) { last = 'second:' + a; }"), S_OK);
  ASSERT_EQ(JornetInitJsEnv(second.makeDocument().get()), 1);
  EXPECT_EQ(JornetCallJsFunc("show", "x"), 1);
  EXPECT_EQ(second.globalText(L"last"), L"second:x");
  EXPECT_EQ(last(), L"");
  ASSERT_EQ(JornetInitJsEnv(host_->makeDocument().get()), 1);
}

TEST_F(Jornet, ReachesTheScriptThroughAnAutomationOnlyDocument) {
  ASSERT_EQ(JornetInitJsEnv(host_->makeDocument(true).get()), 1);
  EXPECT_EQ(JornetCallJsFunc("show", "automation"), 1);
  EXPECT_EQ(last(), L"show:automation");
}

HANDLE g_done = nullptr;
int Done(const char*, const char*) {
  ::SetEvent(g_done);
  return 1;
}

// The answer path the core host builds: an asynchronous Lua call reports back to the page.
TEST_F(Jornet, LuaOnTheWorkerThreadAnswersThePageThroughMessage2024) {
  PageWindow window;
  ASSERT_NE(window.hwnd(), nullptr);
  window.onCall = [](const PageCall& c) {
    JornetCallJsFunc(c.function.c_str(), c.argument.c_str());
  };
  orv::ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_done = done.get();

  orv::test::ScriptFolder files;
  luaFactory* factory = nullptr;
  LuaObject* engine = nullptr;
  ASSERT_EQ(DllGetClassFactoryObject(&factory), 0);
  ASSERT_EQ(factory->Createlua(&engine), 0);
  ASSERT_EQ(engine->InitCoreLuaEnv(files
                                       .write("answer.lua",
                                              "function Ask(a) CallJsFunc('show', 'answer to ' .. "
                                              "a); Done(); return true end\n")
                                       .c_str()),
            1);
  engine->DefFuncCharChar("CallJsFunc", PageWindow::CallJsFunc, nullptr);
  engine->DefFuncCharChar("Done", Done, nullptr);

  EXPECT_TRUE(engine->KavrelFunc(2, "Ask", "question"));
  EXPECT_TRUE(window.pumpUntil(done.get()));
  EXPECT_EQ(last(), L"show:answer to question");
  ASSERT_EQ(window.calls().size(), 1u);
  EXPECT_EQ(window.calls()[0].thread, ::GetCurrentThreadId());
  factory->Release();
}

}  // namespace
