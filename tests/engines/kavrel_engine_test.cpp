// Kavrel's engine surface over real Lua 5.4: configuration, globals, table paths, function and
// script calls, host callbacks.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <typeinfo>

#include "Kavrel.h"
#include "lua_files.h"

namespace {

using orv::test::ScriptFolder;

const char kConfig[] = R"(
Width = 960
Height = 600.0
caption_width = 900
caption_height = 27
EnterHtml = "html\\index.html"
Ratio = 1.5
Huge = 4294967296
Numeric = "42"
Long = string.rep("x", 300)
Flag = true
MSGcallbacks = {
  WM_TIMER = { { span = 1000, callback = "OnTimer" }, { span = 5, callback = "Second" } },
  WM_DEVICECHANGE = { callback = "OnDevice" },
  Numbers = { [7] = "seven" },
  Count = "12",
}
function Echo(a) return a end
function IsTrue(a) return a == "true" end
function ArgType(a) return type(a) end
function Fails(a) error("broken on purpose") end
function ReturnsNothing() end
function ReturnsNumber() return 12.5 end
function ReturnsTable() return {} end
function Twice(a) return a .. a end
counter = 0
function Bump() counter = counter + 1; return true end
function Counter() return tostring(counter) end
)";

class KavrelEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(DllGetClassFactoryObject(&factory_), 0);
    ASSERT_NE(factory_, nullptr);
    ASSERT_EQ(factory_->Createlua(&engine_), 0);
    ASSERT_NE(engine_, nullptr);
  }
  void TearDown() override {
    if (factory_) {
      EXPECT_EQ(factory_->Release(), 0u);
    }
  }
  void loadConfig() {
    ASSERT_EQ(engine_->InitCoreLuaEnv(files_.write("CoreConfig.lua", kConfig).c_str()), 1);
  }
  int pathInt(const wchar_t* path) {
    std::wstring p(path);
    return GetTableItemValue<int>(engine_, &p[0]);
  }
  std::string pathText(const wchar_t* path) {
    std::wstring p(path);
    const char* t = GetTableItemValue<char*>(engine_, &p[0]);
    EXPECT_NE(t, nullptr);
    return t ? t : "<null>";
  }
  std::string returned(const char* function, const char* argument) {
    const char* t = KavrelFunc_Return<char*>(engine_, function, argument);
    EXPECT_NE(t, nullptr);
    return t ? t : "<null>";
  }

  ScriptFolder files_;
  luaFactory* factory_ = nullptr;
  LuaObject* engine_ = nullptr;
};

TEST_F(KavrelEngine, LoadsConfigurationByPathRelativeToCurrentDirectory) {
  files_.write("Script\\CoreConfig.lua", "Width = 123\n");
  char previous[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryA(files_.dir().c_str()));
  int loaded = engine_->InitCoreLuaEnv(".\\Script\\CoreConfig.lua");
  ::SetCurrentDirectoryA(previous);
  EXPECT_EQ(loaded, 1);
  int width = 0;
  EXPECT_NE(engine_->GetCoreGlobalVar(&width, "Width", typeid(int).name(), 0), 0);
  EXPECT_EQ(width, 123);
}

TEST_F(KavrelEngine, ConfigurationFailuresReturnZero) {
  EXPECT_EQ(engine_->InitCoreLuaEnv((files_.dir() + "\\missing.lua").c_str()), 0);
  EXPECT_EQ(engine_->InitCoreLuaEnv(files_.write("syntax.lua", "Width = = 3").c_str()), 0);
  EXPECT_EQ(engine_->InitCoreLuaEnv(files_.write("raises.lua", "error('no')").c_str()), 0);
  EXPECT_EQ(engine_->InitCoreLuaEnv(nullptr), 0);
  // The engine stays usable after a failed load.
  EXPECT_EQ(engine_->InitCoreLuaEnv(files_.write("good.lua", "Width = 1").c_str()), 1);
}

TEST_F(KavrelEngine, ReadsIntegerGlobals) {
  loadConfig();
  int v = -1;
  ASSERT_NE(engine_->GetCoreGlobalVar(&v, "Width", typeid(int).name(), 0), 0);
  EXPECT_EQ(v, 960);
  ASSERT_NE(engine_->GetCoreGlobalVar(&v, "Height", "int", 0), 0);  // 600.0 is a whole number
  EXPECT_EQ(v, 600);
  v = -1;
  EXPECT_EQ(engine_->GetCoreGlobalVar(&v, "Ratio", "int", 0), 0);
  EXPECT_EQ(engine_->GetCoreGlobalVar(&v, "Huge", "int", 0), 0);  // outside 32 bits
  EXPECT_EQ(engine_->GetCoreGlobalVar(&v, "EnterHtml", "int", 0), 0);
  EXPECT_EQ(engine_->GetCoreGlobalVar(&v, "Numeric", "int", 0), 0);  // text, not a number
  EXPECT_EQ(engine_->GetCoreGlobalVar(&v, "Absent", "int", 0), 0);
  EXPECT_EQ(v, -1) << "a failed read leaves the destination alone";
  EXPECT_EQ(engine_->GetCoreGlobalVar(&v, "Width", "double", 0), 0);  // unknown type name
  EXPECT_EQ(engine_->GetCoreGlobalVar(&v, "Width", nullptr, 0), 0);
}

TEST_F(KavrelEngine, ReadsTextGlobalsIntoWideBuffers) {
  loadConfig();
  wchar_t buffer[256];
  wmemset(buffer, L'#', 256);
  ASSERT_NE(engine_->GetCoreGlobalVar(buffer, "EnterHtml", typeid(wchar_t*).name(), 256), 0);
  EXPECT_STREQ(buffer, L"html\\index.html");
  ASSERT_NE(engine_->GetCoreGlobalVar(buffer, "Width", "wchar_t *", 256), 0);
  EXPECT_STREQ(buffer, L"960");
  EXPECT_EQ(engine_->GetCoreGlobalVar(buffer, "Flag", "wchar_t *", 256), 0);
  EXPECT_EQ(engine_->GetCoreGlobalVar(buffer, "Absent", "wchar_t *", 256), 0);
  EXPECT_EQ(engine_->GetCoreGlobalVar(buffer, "EnterHtml", "wchar_t *", 0), 0);
}

TEST_F(KavrelEngine, CutsLongTextToTheCapacityWithItsTerminator) {
  loadConfig();
  wchar_t buffer[261];
  wmemset(buffer, L'#', 261);
  ASSERT_NE(engine_->GetCoreGlobalVar(buffer, "Long", typeid(wchar_t*).name(), 260), 0);
  EXPECT_EQ(wcslen(buffer), 259u);
  EXPECT_EQ(buffer[258], L'x');
  EXPECT_EQ(buffer[260], L'#') << "nothing written past the capacity";
}

TEST_F(KavrelEngine, FollowsDottedPathsWithArrayIndexes) {
  loadConfig();
  EXPECT_EQ(pathInt(L"MSGcallbacks.WM_TIMER.1.span"), 1000);
  EXPECT_EQ(pathInt(L"MSGcallbacks.WM_TIMER.2.span"), 5);
  EXPECT_EQ(pathText(L"MSGcallbacks.WM_TIMER.1.callback"), "OnTimer");
  EXPECT_EQ(pathText(L"MSGcallbacks.WM_TIMER.2.callback"), "Second");
  EXPECT_EQ(pathText(L"MSGcallbacks.WM_DEVICECHANGE.callback"), "OnDevice");
  EXPECT_EQ(pathText(L"MSGcallbacks.Numbers.7"), "seven");
  EXPECT_EQ(pathInt(L"MSGcallbacks.Count"), 12);  // numeric text reads as its number
  EXPECT_EQ(pathText(L"MSGcallbacks.WM_TIMER.1.span"), "1000");
  EXPECT_EQ(pathInt(L"Width"), 960);
}

TEST_F(KavrelEngine, AbsentPathsReadAsZeroAndEmptyText) {
  loadConfig();
  EXPECT_EQ(pathInt(L"MSGcallbacks.WM_TIMER.3.span"), 0);
  EXPECT_EQ(pathInt(L"MSGcallbacks.WM_TIMER.1.callback"), 0);
  EXPECT_EQ(pathInt(L"Width.x"), 0);
  EXPECT_EQ(pathInt(L""), 0);
  EXPECT_EQ(pathInt(L"MSGcallbacks..WM_TIMER"), 0);
  EXPECT_EQ(pathText(L"MSGcallbacks.WM_TIMER"), "");  // a table is not text
  EXPECT_EQ(pathText(L"NoSuch.path"), "");
  EXPECT_EQ(pathText(L"MSGcallbacks.WM_TIMER.1.span."), "");
  EXPECT_EQ(GetTableItemValue<int>(engine_, nullptr), 0);
  const char* t = GetTableItemValue<char*>(engine_, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t, "");
}

TEST_F(KavrelEngine, SynchronousCallsReturnTheFunctionsBooleanOutcome) {
  loadConfig();
  EXPECT_TRUE(engine_->KavrelFunc(1, "IsTrue", "true"));
  EXPECT_FALSE(engine_->KavrelFunc(1, "IsTrue", "false"));
  EXPECT_TRUE(engine_->KavrelFunc(1, "Echo", "anything"));  // a string is true to Lua
  EXPECT_FALSE(engine_->KavrelFunc(1, "Echo", nullptr));    // nil
  EXPECT_FALSE(engine_->KavrelFunc(1, "ReturnsNothing", "x"));
  EXPECT_FALSE(engine_->KavrelFunc(1, "Fails", "x"));
  EXPECT_FALSE(engine_->KavrelFunc(1, "NoSuchFunction", "x"));
  EXPECT_FALSE(engine_->KavrelFunc(1, "Width", "x"));  // not a function
  EXPECT_FALSE(engine_->KavrelFunc(1, nullptr, "x"));
  EXPECT_FALSE(engine_->KavrelFunc(3, "IsTrue", "true"));  // unknown mode
}

TEST_F(KavrelEngine, PassesNullArgumentsAsNil) {
  loadConfig();
  EXPECT_EQ(returned("ArgType", nullptr), "nil");
  EXPECT_EQ(returned("ArgType", ""), "string");
  EXPECT_EQ(returned("Echo", ""), "");
}

TEST_F(KavrelEngine, ReturnsTextResults) {
  loadConfig();
  EXPECT_EQ(returned("Twice", "ab"), "abab");
  EXPECT_EQ(returned("ReturnsNumber", nullptr), "12.5");
  EXPECT_EQ(returned("ReturnsTable", nullptr), "");
  EXPECT_EQ(returned("ReturnsNothing", nullptr), "");
  EXPECT_EQ(returned("Fails", "x"), "");
  EXPECT_EQ(returned("NoSuchFunction", "x"), "");
  EXPECT_EQ(returned(nullptr, "x"), "");
  const char* t = KavrelFunc_Return<char*>(nullptr, "Echo", "x");
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t, "");
}

TEST_F(KavrelEngine, RunsScriptFilesWithTheirArgument) {
  loadConfig();
  std::string script =
      files_.write("set.lua", "local a = ...\nlastScriptArg = type(a) .. ':' .. tostring(a)\n");
  EXPECT_EQ(engine_->KavrelFile(1, script.c_str(), nullptr), 1);
  EXPECT_EQ(returned("Echo", nullptr), "");
  std::string read = files_.write("read.lua", "function LastArg() return lastScriptArg end\n");
  EXPECT_EQ(engine_->KavrelFile(1, read.c_str(), nullptr), 1);
  EXPECT_EQ(returned("LastArg", nullptr), "nil:nil");
  EXPECT_EQ(engine_->KavrelFile(1, script.c_str(), ""), 1);
  EXPECT_EQ(returned("LastArg", nullptr), "string:");
  EXPECT_EQ(engine_->KavrelFile(1, files_.write("bad.lua", "error('x')").c_str(), nullptr), 0);
  EXPECT_EQ(engine_->KavrelFile(1, files_.write("syn.lua", "if then").c_str(), nullptr), 0);
  EXPECT_EQ(engine_->KavrelFile(1, (files_.dir() + "\\none.lua").c_str(), nullptr), 0);
  EXPECT_EQ(engine_->KavrelFile(7, script.c_str(), nullptr), 0);
}

std::atomic<int> g_hostCalls{0};
std::string g_first, g_second;
int recordingCallback(const char* first, const char* second) {
  ++g_hostCalls;
  g_first = first ? first : "<null>";
  g_second = second ? second : "<null>";
  return 7;
}

TEST_F(KavrelEngine, RegisteredCallbacksAreCallableFromLua) {
  loadConfig();
  engine_->DefFuncCharChar("HostFn", recordingCallback, nullptr);
  files_.write("cb.lua", "");
  std::string script =
      files_.write("use.lua",
                   "function UseHost(a) return tostring(HostFn('name', a)) end\n"
                   "function UseHostNumbers() return tostring(HostFn(1, nil)) end\n");
  ASSERT_EQ(engine_->KavrelFile(1, script.c_str(), nullptr), 1);
  g_hostCalls = 0;
  EXPECT_EQ(returned("UseHost", "payload"), "7");
  EXPECT_EQ(g_hostCalls.load(), 1);
  EXPECT_EQ(g_first, "name");
  EXPECT_EQ(g_second, "payload");
  EXPECT_EQ(returned("UseHostNumbers", nullptr), "7");
  EXPECT_EQ(g_first, "1");
  EXPECT_EQ(g_second, "<null>");
}

TEST_F(KavrelEngine, EnginesAreIndependent) {
  LuaObject* other = nullptr;
  ASSERT_EQ(factory_->Createlua(&other), 0);
  ASSERT_NE(other, engine_);
  ASSERT_EQ(engine_->InitCoreLuaEnv(files_.write("a.lua", "Width = 1").c_str()), 1);
  ASSERT_EQ(other->InitCoreLuaEnv(files_.write("b.lua", "Width = 2").c_str()), 1);
  int a = 0, b = 0;
  engine_->GetCoreGlobalVar(&a, "Width", "int", 0);
  other->GetCoreGlobalVar(&b, "Width", "int", 0);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
}

TEST(KavrelFactory, ReleaseClosesEnginesAndLaterCallsFail) {
  luaFactory* factory = nullptr;
  ASSERT_EQ(DllGetClassFactoryObject(&factory), 0);
  LuaObject* engine = nullptr;
  ASSERT_EQ(factory->Createlua(&engine), 0);
  ScriptFolder files;
  ASSERT_EQ(engine->InitCoreLuaEnv(files.write("c.lua", "function T() return true end").c_str()),
            1);
  EXPECT_TRUE(engine->KavrelFunc(1, "T", nullptr));
  EXPECT_EQ(factory->Release(), 0u);
  // A thread that still holds the engine pointer gets failures, not a crash.
  EXPECT_FALSE(engine->KavrelFunc(1, "T", nullptr));
  EXPECT_FALSE(engine->KavrelFunc(2, "T", nullptr));
  EXPECT_EQ(engine->KavrelFile(1, "x.lua", nullptr), 0);
  int v = 0;
  EXPECT_EQ(engine->GetCoreGlobalVar(&v, "Width", "int", 0), 0);
  EXPECT_EQ(DllGetClassFactoryObject(nullptr), -1);
}

}  // namespace
