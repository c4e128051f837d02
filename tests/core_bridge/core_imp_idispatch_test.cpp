// The page's calls through window.external: real JScript calling the real dispatch object,
// which calls a real Lua configuration; Lua answers back through CallJsFunc and message 2024.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "Jornet.h"
#include "Kavrel.h"
#include "core_imp_idispatch.h"
#include "jscript_host.h"
#include "processes.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;
using orv::core::CCoreImpIDispatch;
constexpr UINT kPageCall = WM_USER + 1000;

const char kConfig[] = R"LUA(
calls = 0
lastArg = "unset"
longText = string.rep("x", 300)
exact259 = string.rep("y", 259)
cfg = { items = { "first", "second" }, name = "core" }

function Count(arg) calls = calls + 1; lastArg = arg == nil and "nil" or arg; return true end
function No(arg) calls = calls + 1; return false end
function Echo(arg) return "echo:" .. tostring(arg) end
function Answer(arg)
  calls = calls + 1
  lastArg = arg
  CallJsFunc("onAnswer", "got " .. arg)
  return true
end
)LUA";

struct MainWindow {
  HWND hwnd = nullptr;
  int closes = 0;
  int minimises = 0;
};
MainWindow* g_main = nullptr;
LuaObject* g_engine = nullptr;

LRESULT CALLBACK mainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CLOSE) {
    ++g_main->closes;
    return 0;
  }
  if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MINIMIZE) {
    ++g_main->minimises;
    return 0;
  }
  if (msg == kPageCall) {
    JornetCallJsFunc(reinterpret_cast<const char*>(wParam), reinterpret_cast<const char*>(lParam));
    return 1;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int callJsFunc(const char* function, const char* argument) {
  SendMessageW(g_main->hwnd, kPageCall, reinterpret_cast<WPARAM>(function),
               reinterpret_cast<LPARAM>(argument));
  return 1;
}

class BridgeTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    g_main = &main_;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = mainProc;
    wc.lpszClassName = L"OrvBridgeTestMain";
    RegisterClassW(&wc);
    main_.hwnd = CreateWindowExW(0, wc.lpszClassName, L"main", WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_TRUE(main_.hwnd);

    dir_ = std::make_unique<orv::test::TempDir>();
    std::ofstream(*dir_ / "config.lua") << kConfig;
    std::ofstream(*dir_ / "script.lua") << "calls = calls + 10\n";
    ASSERT_EQ(DllGetClassFactoryObject(&factory_), 0);
    ASSERT_EQ(factory_->Createlua(&engine_), 0);
    ASSERT_EQ(engine_->InitCoreLuaEnv((*dir_ / "config.lua").string().c_str()), 1);
    engine_->DefFuncCharChar("CallJsFunc", &callJsFunc, nullptr);

    g_engine = engine_;
    // Like the application's, the object lives as long as the program: the page's script engine
    // (kept by Jornet until the next page) may still hold it after a test ends.
    static CCoreImpIDispatch external([] { return g_main ? g_main->hwnd : nullptr; },
                                      [] { return g_engine; });
    external_ = &external;
    js_ = std::make_unique<orv::test::JScriptHost>();
    ASSERT_TRUE(js_->ok()) << "no JScript engine";
    ASSERT_EQ(js_->addNamedObject(L"external", external_), S_OK);
    ASSERT_EQ(js_->run(L"var window = { external: external }; var answers = [];"
                       L"function onAnswer(text) { answers.push(text); }"),
              S_OK)
        << std::string(js_->lastError().begin(), js_->lastError().end());
    document_ = js_->makeDocument();
    ASSERT_EQ(JornetInitJsEnv(document_.get()), 1);
  }
  void TearDown() override {
    document_.reset();
    js_.reset();
    if (factory_) factory_->Release();
    DestroyWindow(main_.hwnd);
    dir_.reset();
    g_main = nullptr;
    g_engine = nullptr;
    // COM stays initialised: Jornet keeps the last page's document until the next one comes.
  }

  // Runs page code and returns the global `r` as text.
  std::wstring page(const std::wstring& code) {
    EXPECT_EQ(js_->run(L"var r = String((function(){ " + code + L" })());"), S_OK)
        << std::string(js_->lastError().begin(), js_->lastError().end());
    return js_->globalText(L"r");
  }
  std::string luaText(const char* name) {
    wchar_t buffer[400] = {};
    engine_->GetCoreGlobalVar(buffer, name, typeid(wchar_t*).name(), 400);
    std::wstring w(buffer);
    return std::string(w.begin(), w.end());
  }
  int luaInt(const char* name) {
    int v = -1;
    engine_->GetCoreGlobalVar(&v, name, typeid(int).name(), 0);
    return v;
  }

  MainWindow main_;
  std::unique_ptr<orv::test::TempDir> dir_;  // made in SetUp, removed in TearDown
  luaFactory* factory_ = nullptr;
  LuaObject* engine_ = nullptr;
  CCoreImpIDispatch* external_ = nullptr;
  std::unique_ptr<orv::test::JScriptHost> js_;  // made once COM is initialised
  orv::ComPtr<IDispatch> document_;
};

TEST_F(BridgeTest, MembersReadAsPropertiesAreTrueWithoutCallingLua) {
  EXPECT_EQ(page(L"return window.external.JsCallLuaFuncSyn === true;"), L"true");
  EXPECT_EQ(
      page(L"return !!window.external.JsGetTableItem && !!window.external.JsCallLuaScriptAsyn;"),
      L"true");
  EXPECT_EQ(luaInt("calls"), 0);
  EXPECT_EQ(main_.closes, 0);
}

TEST_F(BridgeTest, ReadingCoreQuitOrCoreMinAlreadyActs) {
  page(L"var q = window.external.CoreQuit; return 1;");
  EXPECT_EQ(main_.closes, 1);
  page(L"window.external.CoreMin(); return 1;");
  EXPECT_EQ(main_.minimises, 1);
}

TEST_F(BridgeTest, SynchronousCallsReturnLuasAnswer) {
  EXPECT_EQ(page(L"return window.external.JsCallLuaFuncSyn('Count', 'abc');"), L"true");
  EXPECT_EQ(luaText("lastArg"), "abc");
  EXPECT_EQ(page(L"return window.external.JsCallLuaFuncSyn('No', 'abc');"), L"false");
  EXPECT_EQ(page(L"return window.external.JsCallLuaFuncSyn('Missing', 'abc');"), L"false");
  EXPECT_EQ(page(L"return window.external.JsCallLuaFuncSynReturn('Echo', 'hi');"), L"echo:hi");
  EXPECT_EQ(page(L"return window.external.JsCallLuaFuncSynReturn('Echo', undefined);"), L"echo:");
  EXPECT_EQ(page(L"return window.external.JsCallLuaFuncSynReturn('Missing', 'x');"), L"");
  EXPECT_EQ(luaInt("calls"), 2);
}

TEST_F(BridgeTest, UndefinedSecondArgumentsFollowEachMembersRule) {
  // The synchronous call hands the argument on as it came: undefined is nil in Lua.
  page(L"return window.external.JsCallLuaFuncSyn('Count', undefined);");
  EXPECT_EQ(luaText("lastArg"), "nil");
  // The asynchronous one hands on an empty text.
  page(L"return window.external.JsCallLuaFuncAsyn('Answer', undefined);");
  EXPECT_TRUE(orv::test::pumpUntil([&] { return luaInt("calls") >= 2; }));
  EXPECT_EQ(luaText("lastArg"), "");
}

TEST_F(BridgeTest, AsynchronousCallAnswersThePageLaterThroughCallJsFunc) {
  EXPECT_EQ(page(L"return window.external.JsCallLuaFuncAsyn('Answer', 'ping');"), L"true");
  std::wstring answers;
  EXPECT_TRUE(orv::test::pumpUntil([&] {
    answers = page(L"return answers.join('|');");
    return !answers.empty();
  }));
  EXPECT_EQ(answers, L"got ping");
}

TEST_F(BridgeTest, ScriptsRunAndAnswerTheirResult) {
  const std::wstring path = (*dir_ / "script.lua").wstring();
  std::wstring js;
  for (wchar_t c : path) js += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
  EXPECT_EQ(page(L"return window.external.JsCallLuaScriptSyn('" + js + L"');"), L"true");
  EXPECT_EQ(luaInt("calls"), 10);
  EXPECT_EQ(page(L"return window.external.JsCallLuaScriptSyn('no-such-script.lua');"), L"false");
}

TEST_F(BridgeTest, StringGlobalsComeBackCutToTheBuffer) {
  EXPECT_EQ(page(L"return window.external.JsGetLuaVarString('longText').length;"), L"259");
  EXPECT_EQ(page(L"return window.external.JsGetLuaVarString('exact259').length;"), L"259");
  EXPECT_EQ(page(L"return window.external.JsGetLuaVarString('nothing');"), L"");
  EXPECT_EQ(page(L"return window.external.JsGetTableItem('cfg.items.2');"), L"second");
  EXPECT_EQ(page(L"return window.external.JsGetTableItem('cfg.name');"), L"core");
  EXPECT_EQ(page(L"return window.external.JsGetTableItem(null);"), L"");
}

TEST_F(BridgeTest, TextOutsideTheCodePageReachesLuaAsItsSubstitute) {
  CPINFO info = {};
  ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
  if (info.MaxCharSize != 1) GTEST_SKIP() << "the ANSI code page here is not a single-byte one";
  page(L"return window.external.JsCallLuaFuncSyn('Count', 'a\\u4E2Db');");
  EXPECT_EQ(luaText("lastArg"), std::string("a") + char(info.DefaultChar[0]) + "b");
}

TEST_F(BridgeTest, JsGetLuaVarJsonSucceedsAndReturnsNothing) {
  EXPECT_EQ(page(L"return typeof window.external.JsGetLuaVarJson('x');"), L"undefined");
  EXPECT_EQ(luaInt("calls"), 0);
}

TEST_F(BridgeTest, UnknownNamesNeverFailTheLookup) {
  EXPECT_EQ(page(L"return typeof window.external.NoSuchMember;"), L"undefined");
  DISPID id = 0;
  std::wstring longName(300, L'J');
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"CoreQuit"), &longName[0],
                      const_cast<LPOLESTR>(L"corequit")};
  DISPID ids[3] = {};
  EXPECT_EQ(external_->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);
  (void)id;
}

TEST_F(BridgeTest, MissingOrNonTextArgumentsAreRefusedWithoutCallingLua) {
  EXPECT_EQ(page(L"try { window.external.JsCallLuaFuncSyn('Count'); return 'none'; } catch (e) { "
                 L"return e.number; }"),
            std::to_wstring(int(DISP_E_BADPARAMCOUNT)));
  EXPECT_EQ(page(L"try { window.external.JsCallLuaFuncSyn(5, 'x'); return 'none'; } catch (e) { "
                 L"return e.number; }"),
            std::to_wstring(int(DISP_E_TYPEMISMATCH)));
  EXPECT_EQ(page(L"try { window.external.JsGetLuaVarString(); return 'none'; } catch (e) { return "
                 L"e.number; }"),
            std::to_wstring(int(DISP_E_BADPARAMCOUNT)));
  EXPECT_EQ(luaInt("calls"), 0);
}

TEST_F(BridgeTest, ReferenceCountingNeverDeletesTheObject) {
  const LONG before = external_->references();
  IDispatch* d = nullptr;
  ASSERT_EQ(external_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  EXPECT_EQ(external_->references(), before + 1);
  d->Release();
  d->Release();  // one more than was added: counts below, deletes nothing
  EXPECT_EQ(external_->references(), before - 1);
  external_->AddRef();
  IUnknown* other = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(external_->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&other)),
            E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  UINT count = 7;
  EXPECT_EQ(external_->GetTypeInfoCount(&count), E_NOTIMPL);
}

}  // namespace
