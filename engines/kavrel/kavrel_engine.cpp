#include "kavrel_engine.h"

#include <climits>
#include <cstring>

#include "ansi_text.h"
#include "lua.hpp"
#include "trace.h"

namespace {

// How many engine calls the calling thread is inside of (across nesting through callbacks), so
// that closing from inside a call does not wait for itself.
thread_local int t_callDepth = 0;

void debugLine(const char* what, const char* detail) {
  orv::traceText(std::string("Kavrel: ") + what + (detail ? detail : "") + "\n");
}

// Pushes a string or number at `index` as text, or returns null for anything else.
const char* argumentText(lua_State* L, int index) {
  int t = lua_type(L, index);
  if (t == LUA_TSTRING || t == LUA_TNUMBER) return lua_tostring(L, index);
  return nullptr;
}

using HostCallback = int (*)(const char*, const char*);

// Lua-callable trampoline to a host callback. The host may block (CallJsFunc sends a window
// message and waits for the user-interface thread), so the engine is lent to other threads for
// the duration: this Lua thread sits inside a C function and its stack stays untouched.
int callHost(lua_State* L) {
  auto callback = reinterpret_cast<HostCallback>(lua_touserdata(L, lua_upvalueindex(1)));
  auto* engine = static_cast<LuaObject::Impl*>(lua_touserdata(L, lua_upvalueindex(2)));
  const char* first = argumentText(L, 1);
  const char* second = argumentText(L, 2);
  int depth = engine->lock.suspend();
  int result = callback(first, second);
  engine->lock.resume(depth);
  lua_pushinteger(L, result);
  return 1;
}

// Pushes the value at `keys`, starting from the globals; nil when a step is not a table. Raw
// access, so no metamethod runs (and nothing can raise an error) while a path is read.
void pushPath(lua_State* L, const std::vector<orv::kavrel::TablePathKey>& keys) {
  lua_pushglobaltable(L);
  for (const auto& key : keys) {
    if (!lua_istable(L, -1)) {
      lua_pop(L, 1);
      lua_pushnil(L);
      return;
    }
    if (key.isIndex) {
      lua_rawgeti(L, -1, static_cast<lua_Integer>(key.index));
    } else {
      lua_pushlstring(L, key.name.data(), key.name.size());
      lua_rawget(L, -2);
    }
    lua_remove(L, -2);
  }
}

bool integerAt(lua_State* L, int index, int* value) {
  int isNumber = 0;
  lua_Integer n = lua_tointegerx(L, index, &isNumber);
  if (!isNumber || n < INT_MIN || n > INT_MAX) return false;
  *value = static_cast<int>(n);
  return true;
}

// A fresh Lua thread for one call, anchored in the registry while it runs. Every call has its own
// Lua stack, so calls that interleave while one of them is lent out never share a stack.
class CallThread {
 public:
  explicit CallThread(lua_State* main) : main_(main), thread_(lua_newthread(main)) {
    ref_ = luaL_ref(main_, LUA_REGISTRYINDEX);
  }
  ~CallThread() { luaL_unref(main_, LUA_REGISTRYINDEX, ref_); }
  lua_State* get() const { return thread_; }

 private:
  lua_State* main_;
  lua_State* thread_;
  int ref_;
};

// Counts a call as running inside the engine for as long as it lives.
class CallScope {
 public:
  explicit CallScope(LuaObject::Impl& engine) : engine_(engine), entered_(engine.enterCall()) {}
  ~CallScope() { engine_.leaveCall(); }
  explicit operator bool() const { return entered_; }

 private:
  LuaObject::Impl& engine_;
  bool entered_;
};

}  // namespace

LuaObject::Impl::Impl() : callLeft(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  state = luaL_newstate();
  if (state) luaL_openlibs(state);
}

LuaObject::Impl::~Impl() { close(); }

bool LuaObject::Impl::enterCall() {
  ++active;
  ++t_callDepth;
  return !closed;
}

void LuaObject::Impl::leaveCall() {
  --t_callDepth;
  if (--active == 0 && closed) finishClose();
  ::SetEvent(callLeft.get());
}

void LuaObject::Impl::finishClose() {
  orv::kavrel::EngineLockGuard guard(lock);
  if (state) {
    lua_close(state);
    state = nullptr;
  }
}

void LuaObject::Impl::close() {
  if (closed.exchange(true)) return;
  {
    std::lock_guard<std::mutex> g(queueMutex);
    stopping = true;
    jobs.clear();
  }
  queueSignal.notify_all();
  if (worker && workerId != ::GetCurrentThreadId())
    orv::kavrel::waitHandlingSentMessages(worker.get());
  // Calls already inside finish first; the last one to leave closes the state when this thread
  // is itself inside a call.
  while (active > t_callDepth) orv::kavrel::waitHandlingSentMessages(callLeft.get());
  if (active == 0) finishClose();
}

bool LuaObject::Impl::loadConfig(const char* path) {
  CallScope scope(*this);
  if (!scope || !path) return false;
  orv::kavrel::EngineLockGuard guard(lock);
  if (!state) return false;
  CallThread call(state);
  lua_State* L = call.get();
  if (luaL_loadfile(L, path) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
    debugLine("configuration failed: ", lua_tostring(L, -1));
    lua_settop(L, 0);
    return false;
  }
  return true;
}

bool LuaObject::Impl::callFunction(const char* function, const char* argument, bool* outcome,
                                   std::string* text) {
  CallScope scope(*this);
  if (!scope || !function) return false;
  orv::kavrel::EngineLockGuard guard(lock);
  if (!state) return false;
  CallThread call(state);
  lua_State* L = call.get();
  lua_getglobal(L, function);
  if (!lua_isfunction(L, -1)) {
    debugLine("no such function: ", function);
    lua_settop(L, 0);
    return false;
  }
  if (argument) {
    lua_pushstring(L, argument);
  } else {
    lua_pushnil(L);
  }
  if (lua_pcall(L, 1, 1, 0) != LUA_OK) {
    debugLine("function failed: ", lua_tostring(L, -1));
    lua_settop(L, 0);
    return false;
  }
  if (outcome) *outcome = lua_toboolean(L, -1) != 0;
  if (text) {
    const char* t = argumentText(L, -1);
    text->assign(t ? t : "");
  }
  lua_settop(L, 0);
  return true;
}

bool LuaObject::Impl::runFile(const char* path, const char* argument) {
  CallScope scope(*this);
  if (!scope || !path) return false;
  orv::kavrel::EngineLockGuard guard(lock);
  if (!state) return false;
  CallThread call(state);
  lua_State* L = call.get();
  if (luaL_loadfile(L, path) != LUA_OK) {
    debugLine("script not loaded: ", lua_tostring(L, -1));
    lua_settop(L, 0);
    return false;
  }
  int count = 0;
  if (argument) {
    lua_pushstring(L, argument);
    count = 1;
  }
  if (lua_pcall(L, count, 0, 0) != LUA_OK) {
    debugLine("script failed: ", lua_tostring(L, -1));
    lua_settop(L, 0);
    return false;
  }
  return true;
}

bool LuaObject::Impl::readGlobal(const char* name, orv::kavrel::GlobalVarType type,
                                 void* destination, unsigned int capacity) {
  if (!name || !destination || type == orv::kavrel::GlobalVarType::Unknown) return false;
  if (type == orv::kavrel::GlobalVarType::WideText && capacity == 0) return false;
  CallScope scope(*this);
  if (!scope) return false;
  orv::kavrel::EngineLockGuard guard(lock);
  if (!state) return false;
  CallThread call(state);
  lua_State* L = call.get();
  lua_pushglobaltable(L);
  lua_pushstring(L, name);
  lua_rawget(L, -2);
  bool filled = false;
  if (type == orv::kavrel::GlobalVarType::Int) {
    int value = 0;
    if (lua_type(L, -1) == LUA_TNUMBER && integerAt(L, -1, &value)) {
      std::memcpy(destination, &value, sizeof value);
      filled = true;
    }
  } else if (const char* t = argumentText(L, -1)) {
    std::wstring wide = orv::toWide(std::string(t, lua_rawlen(L, -1)));
    size_t n = wide.size() < capacity - 1 ? wide.size() : capacity - 1;
    auto* out = static_cast<wchar_t*>(destination);
    std::memcpy(out, wide.data(), n * sizeof(wchar_t));
    out[n] = L'\0';
    filled = true;
  }
  lua_settop(L, 0);
  return filled;
}

bool LuaObject::Impl::readPathInt(const std::string& path, int* value) {
  auto keys = orv::kavrel::splitTablePath(path);
  if (keys.empty()) return false;
  CallScope scope(*this);
  if (!scope) return false;
  orv::kavrel::EngineLockGuard guard(lock);
  if (!state) return false;
  CallThread call(state);
  lua_State* L = call.get();
  pushPath(L, keys);
  bool ok = lua_type(L, -1) == LUA_TNUMBER || lua_type(L, -1) == LUA_TSTRING;
  ok = ok && integerAt(L, -1, value);
  lua_settop(L, 0);
  return ok;
}

bool LuaObject::Impl::readPathText(const std::string& path, std::string* text) {
  auto keys = orv::kavrel::splitTablePath(path);
  if (keys.empty()) return false;
  CallScope scope(*this);
  if (!scope) return false;
  orv::kavrel::EngineLockGuard guard(lock);
  if (!state) return false;
  CallThread call(state);
  lua_State* L = call.get();
  pushPath(L, keys);
  const char* t = argumentText(L, -1);
  if (t) text->assign(t, lua_rawlen(L, -1));
  lua_settop(L, 0);
  return t != nullptr;
}

void LuaObject::Impl::defineCallback(const char* name, int (*callback)(const char*, const char*)) {
  if (!name || !callback) return;
  CallScope scope(*this);
  if (!scope) return;
  orv::kavrel::EngineLockGuard guard(lock);
  if (!state) return;
  lua_pushlightuserdata(state, reinterpret_cast<void*>(callback));
  lua_pushlightuserdata(state, this);
  lua_pushcclosure(state, callHost, 2);
  lua_setglobal(state, name);
}

bool LuaObject::Impl::queue(bool isFile, const char* name, const char* argument) {
  if (!name || closed) return false;
  std::lock_guard<std::mutex> g(queueMutex);
  if (stopping) return false;
  if (!worker) {
    worker.reset(::CreateThread(nullptr, 0, workerMain, this, 0, &workerId));
    if (!worker) return false;
  }
  Job job;
  job.isFile = isFile;
  job.name = name;
  job.hasArgument = argument != nullptr;
  if (argument) job.argument = argument;
  jobs.push_back(std::move(job));
  queueSignal.notify_one();
  return true;
}

DWORD WINAPI LuaObject::Impl::workerMain(void* self) {
  auto* engine = static_cast<LuaObject::Impl*>(self);
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> g(engine->queueMutex);
      engine->queueSignal.wait(g, [engine] { return engine->stopping || !engine->jobs.empty(); });
      if (engine->stopping) return 0;
      job = std::move(engine->jobs.front());
      engine->jobs.pop_front();
    }
    const char* argument = job.hasArgument ? job.argument.c_str() : nullptr;
    if (job.isFile) {
      engine->runFile(job.name.c_str(), argument);
    } else {
      engine->callFunction(job.name.c_str(), argument, nullptr, nullptr);
    }
  }
}
