#pragma once
// Kavrel: the Lua script engine library the core host imports (Kavrel.dll).
//
// One engine (LuaObject) owns one Lua 5.4 state. The core host enters it from several threads at
// once; the library serialises them itself (see README.md beside this file for the meaning of the
// results and for the threading rules).
//
// Texts are narrow in the ANSI code page unless a parameter is wide.

#if defined(KAVREL_BUILD)
#define KAVREL_API __declspec(dllexport)
#else
#define KAVREL_API __declspec(dllimport)
#endif

struct lua_State;
class LuaObject;
class luaFactory;

// Creates a factory and stores it in *factory. Returns 0 on success, a negative value on failure.
extern "C" KAVREL_API long DllGetClassFactoryObject(luaFactory** factory);

// Creates engines and closes them again.
class KAVREL_API luaFactory {
 public:
  // Creates a new engine and stores it in *engine (null on failure). Returns 0 on success, a
  // negative value on failure. The factory owns the engine.
  long Createlua(LuaObject** engine);
  // Closes the factory and every engine it created: waits for running calls, drops queued
  // asynchronous work and closes the Lua states. Returns 0 (no references remain).
  unsigned long Release();

  struct Impl;

 private:
  luaFactory();
  ~luaFactory();
  luaFactory(const luaFactory&) = delete;
  luaFactory& operator=(const luaFactory&) = delete;
  Impl* impl_;
};

class KAVREL_API LuaObject {
 public:
  // Loads and runs the configuration script at `scriptPath`. Returns 1 on success, 0 when the file
  // cannot be read, does not compile or fails when run.
  int InitCoreLuaEnv(const char* scriptPath);

  // Reads the Lua global `name` into `destination`. `typeName` is the run-time type name
  // (typeid(...).name()) of `int` or of `wchar_t*`. For int, `destination` is a 32-bit int and
  // `capacity` is ignored; for wchar_t*, it is a buffer of `capacity` wide characters that receives
  // a zero-terminated string, cut to fit. Returns nonzero when the destination was filled.
  int GetCoreGlobalVar(void* destination, const char* name, const char* typeName,
                       unsigned int capacity);

  // Calls the Lua function `function` with one text argument (null passes nil).
  // mode 1: runs it now, on the calling thread; returns the function's first result as a
  //         boolean (false also when the function is missing or raises an error).
  // mode 2: queues it for the engine's own worker thread; returns true when queued.
  bool KavrelFunc(unsigned long mode, const char* function, const char* argument);

  // Runs the script file `scriptPath`, with `argument` (null passes nothing) as the chunk's `...`.
  // mode 1: runs it now; returns 1 when the script ran without error, 0 otherwise.
  // mode 2: queues it for the worker thread; returns 1 when queued, 0 otherwise.
  int KavrelFile(unsigned long mode, const char* scriptPath, const char* argument);

  // Makes `callback` callable from Lua as the global function `name`, taking two texts and
  // returning its int result. `state` is ignored (pass null: the engine uses its own state).
  void DefFuncCharChar(const char* name, int (*callback)(const char*, const char*),
                       lua_State* state);

  struct Impl;
  Impl* impl() const { return impl_; }

 private:
  friend struct luaFactory::Impl;
  LuaObject();
  ~LuaObject();
  LuaObject(const LuaObject&) = delete;
  LuaObject& operator=(const LuaObject&) = delete;
  Impl* impl_;
};

// Reads the value at a dotted path of Lua tables, starting from the globals: "a.b.c" reads
// a["b"]["c"]; a component that is a whole number indexes an array, so "t.WM_TIMER.1.span" reads
// t.WM_TIMER[1].span.
template <typename T>
T GetTableItemValue(LuaObject* engine, wchar_t* path);
// The integer there (numbers and numeric strings); 0 when absent or not a number.
template <>
KAVREL_API int GetTableItemValue<int>(LuaObject* engine, wchar_t* path);
// The text there (strings and numbers); never null: empty when absent or not text. The text is
// owned by the library and stays valid until the calling thread's next text-returning call.
template <>
KAVREL_API char* GetTableItemValue<char*>(LuaObject* engine, wchar_t* path);

// Calls the Lua function `function` synchronously with one text argument and returns its first
// result as text. Never null: empty when the function is missing, fails or returns no text.
// Owned by the library like GetTableItemValue<char*>.
template <typename T>
T KavrelFunc_Return(LuaObject* engine, const char* function, const char* argument);
template <>
KAVREL_API char* KavrelFunc_Return<char*>(LuaObject* engine, const char* function,
                                          const char* argument);
