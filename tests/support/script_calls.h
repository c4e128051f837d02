#pragma once
// Host functions the tests' Lua scripts call to report what ran, where and how many at once, and
// an engine set up from a configuration script written for the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "Kavrel.h"
#include "lua_files.h"

namespace orv::test {

struct ScriptCall {
  std::string what;
  std::string argument;
  DWORD thread = 0;
};

class ScriptCalls {
 public:
  static ScriptCalls& instance() {
    static ScriptCalls calls;
    return calls;
  }
  void clear() {
    std::lock_guard<std::mutex> g(mutex_);
    calls_.clear();
    active_ = 0;
    maxActive_ = 0;
  }
  std::vector<ScriptCall> calls() const {
    std::lock_guard<std::mutex> g(mutex_);
    return calls_;
  }
  std::vector<ScriptCall> callsOf(const std::string& what) const {
    std::vector<ScriptCall> out;
    for (const auto& c : calls())
      if (c.what == what) out.push_back(c);
    return out;
  }
  int maxActive() const { return maxActive_.load(); }

  // Record(what, argument)
  static int Record(const char* what, const char* argument) {
    auto& self = instance();
    std::lock_guard<std::mutex> g(self.mutex_);
    self.calls_.push_back({what ? what : "", argument ? argument : "", ::GetCurrentThreadId()});
    return 1;
  }
  // Enter() / Leave(): how many callbacks run at the same time.
  static int Enter(const char*, const char*) {
    auto& self = instance();
    const int now = ++self.active_;
    int seen = self.maxActive_.load();
    while (now > seen && !self.maxActive_.compare_exchange_weak(seen, now)) {
    }
    return 1;
  }
  static int Leave(const char*, const char*) {
    --instance().active_;
    return 1;
  }
  // Nap(ms): blocks outside Lua, as a slow check of the machine would.
  static int Nap(const char* ms, const char*) {
    ::Sleep(static_cast<DWORD>(std::atoi(ms ? ms : "0")));
    return 1;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<ScriptCall> calls_;
  std::atomic<int> active_{0};
  std::atomic<int> maxActive_{0};
};

// A Kavrel engine over `config`, with the host functions above registered.
class TestEngine {
 public:
  explicit TestEngine(const std::string& config) {
    ScriptCalls::instance().clear();
    if (DllGetClassFactoryObject(&factory_) != 0 || !factory_) return;
    factory_->Createlua(&engine_);
    if (!engine_) return;
    const std::string helpers = "function Get(name) return tostring(_G[name]) end\n";
    loaded_ =
        engine_->InitCoreLuaEnv(files_.write("CoreConfig.lua", helpers + config).c_str()) == 1;
    engine_->DefFuncCharChar("Record", ScriptCalls::Record, nullptr);
    engine_->DefFuncCharChar("Enter", ScriptCalls::Enter, nullptr);
    engine_->DefFuncCharChar("Leave", ScriptCalls::Leave, nullptr);
    engine_->DefFuncCharChar("Nap", ScriptCalls::Nap, nullptr);
  }
  ~TestEngine() {
    if (factory_) factory_->Release();
  }
  TestEngine(const TestEngine&) = delete;
  TestEngine& operator=(const TestEngine&) = delete;

  bool loaded() const { return loaded_; }
  LuaObject* get() const { return engine_; }
  std::string value(const char* expression) {
    return KavrelFunc_Return<char*>(engine_, "Get", expression);
  }

 private:
  ScriptFolder files_;
  luaFactory* factory_ = nullptr;
  LuaObject* engine_ = nullptr;
  bool loaded_ = false;
};

}  // namespace orv::test
