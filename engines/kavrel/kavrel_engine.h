#pragma once
// The inside of one Kavrel engine: a Lua state, the lock that serialises it, and the worker thread
// that runs the asynchronous (mode 2) calls.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "Kavrel.h"
#include "engine_lock.h"
#include "table_path.h"
#include "scoped_handle.h"

struct lua_State;

struct LuaObject::Impl {
  Impl();
  ~Impl();

  // Operations behind the public surface. Each returns false when the engine is closed.
  bool loadConfig(const char* path);
  bool callFunction(const char* function, const char* argument, bool* outcome, std::string* text);
  bool runFile(const char* path, const char* argument);
  bool readGlobal(const char* name, orv::kavrel::GlobalVarType type, void* destination,
                  unsigned int capacity);
  bool readPathInt(const std::string& path, int* value);
  bool readPathText(const std::string& path, std::string* text);
  void defineCallback(const char* name, int (*callback)(const char*, const char*));
  bool queue(bool isFile, const char* name, const char* argument);

  // Closes the engine: no new calls, queued work dropped, the state closed once no call runs.
  void close();

  // Bookkeeping of the calls running inside the engine (see CallScope in the .cpp).
  bool enterCall();
  void leaveCall();

  orv::kavrel::EngineLock lock;
  lua_State* state = nullptr;  // null once closed; used only under `lock`
  std::atomic<bool> closed{false};
  std::atomic<int> active{0};
  orv::ScopedHandle callLeft;  // auto-reset event, set whenever a call leaves

  struct Job {
    bool isFile = false;
    std::string name;
    bool hasArgument = false;
    std::string argument;
  };
  std::mutex queueMutex;
  std::condition_variable queueSignal;
  std::deque<Job> jobs;
  bool stopping = false;
  orv::ScopedHandle worker;
  DWORD workerId = 0;

 private:
  void finishClose();
  static DWORD WINAPI workerMain(void* self);
};

struct luaFactory::Impl {
  static luaFactory* createFactory() { return new luaFactory(); }
  static LuaObject* createEngine() { return new LuaObject(); }
  static void destroyFactory(luaFactory* f) { delete f; }

  std::mutex mutex;
  std::vector<LuaObject*> engines;
  bool released = false;
};
