// The exported surface of Kavrel.dll; the work is done by LuaObject::Impl.
#include <string>

#include "Kavrel.h"
#include "ansi_text.h"
#include "kavrel_engine.h"

namespace {

// Texts handed out to callers stay owned here: one buffer per thread, so threads entering at the
// same time never overwrite each other's result.
thread_local std::string t_resultText;

char* handOut(const std::string& text) {
  t_resultText = text;
  return &t_resultText[0];
}

}  // namespace

luaFactory::luaFactory() : impl_(new Impl) {}
luaFactory::~luaFactory() { delete impl_; }

long luaFactory::Createlua(LuaObject** engine) {
  if (!engine) return -1;
  *engine = nullptr;
  std::lock_guard<std::mutex> g(impl_->mutex);
  if (impl_->released) return -1;
  LuaObject* created = Impl::createEngine();
  if (!created->impl()->state) {
    // Out of memory for a Lua state: hand out nothing.
    created->impl()->close();
    return -1;
  }
  impl_->engines.push_back(created);
  *engine = created;
  return 0;
}

unsigned long luaFactory::Release() {
  std::vector<LuaObject*> engines;
  {
    std::lock_guard<std::mutex> g(impl_->mutex);
    if (impl_->released) return 0;
    impl_->released = true;
    engines.swap(impl_->engines);
  }
  // The engine objects stay allocated as closed shells: a timer thread started just before may
  // still hold a pointer, and its call then fails instead of touching freed memory.
  for (LuaObject* e : engines) e->impl()->close();
  Impl::destroyFactory(this);
  return 0;
}

LuaObject::LuaObject() : impl_(new Impl) {}
LuaObject::~LuaObject() { delete impl_; }

int LuaObject::InitCoreLuaEnv(const char* scriptPath) {
  return impl_->loadConfig(scriptPath) ? 1 : 0;
}

int LuaObject::GetCoreGlobalVar(void* destination, const char* name, const char* typeName,
                                unsigned int capacity) {
  return impl_->readGlobal(name, orv::kavrel::classifyTypeName(typeName), destination, capacity)
             ? 1
             : 0;
}

bool LuaObject::KavrelFunc(unsigned long mode, const char* function, const char* argument) {
  if (mode == 1) {
    bool outcome = false;
    return impl_->callFunction(function, argument, &outcome, nullptr) && outcome;
  }
  if (mode == 2) return impl_->queue(false, function, argument);
  return false;
}

int LuaObject::KavrelFile(unsigned long mode, const char* scriptPath, const char* argument) {
  if (mode == 1) return impl_->runFile(scriptPath, argument) ? 1 : 0;
  if (mode == 2) return impl_->queue(true, scriptPath, argument) ? 1 : 0;
  return 0;
}

void LuaObject::DefFuncCharChar(const char* name, int (*callback)(const char*, const char*),
                                lua_State* /*state: the engine always uses its own*/) {
  impl_->defineCallback(name, callback);
}

long DllGetClassFactoryObject(luaFactory** factory) {
  if (!factory) return -1;
  *factory = luaFactory::Impl::createFactory();
  return 0;
}

template <>
int GetTableItemValue<int>(LuaObject* engine, wchar_t* path) {
  if (!engine || !path) return 0;
  int value = 0;
  return engine->impl()->readPathInt(orv::toNarrow(path), &value) ? value : 0;
}

template <>
char* GetTableItemValue<char*>(LuaObject* engine, wchar_t* path) {
  std::string text;
  if (engine && path) engine->impl()->readPathText(orv::toNarrow(path), &text);
  return handOut(text);
}

template <>
char* KavrelFunc_Return<char*>(LuaObject* engine, const char* function, const char* argument) {
  std::string text;
  if (engine) engine->impl()->callFunction(function, argument, nullptr, &text);
  return handOut(text);
}
