#include "module.h"

#include <atomic>

#include "OstwinAutoCtrl_h.h"
#include "scoped_com.h"
#include "thread.h"

namespace orv::tokenctl {
namespace {

HINSTANCE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

// Guards the one-time load of the type information; initialised before any COM call can arrive.
struct TypeInfoCache {
  CRITICAL_SECTION lock;
  ComPtr<ITypeInfo> info;  // kept for the life of the module
  TypeInfoCache() { ::InitializeCriticalSection(&lock); }
};
TypeInfoCache& typeInfoCache() {
  static TypeInfoCache cache;
  return cache;
}

}  // namespace

void setControlModule(HINSTANCE module) { g_module = module; }
HINSTANCE controlModule() { return g_module; }

std::wstring controlModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(g_module, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void moduleObjectCreated() { ++g_objects; }
void moduleObjectDestroyed() { --g_objects; }
void moduleLock(bool lock) { lock ? ++g_locks : --g_locks; }
bool moduleCanUnload() { return g_objects.load() == 0 && g_locks.load() == 0; }

ITypeInfo* controlTypeInfo() {
  TypeInfoCache& cache = typeInfoCache();
  CriticalSectionGuard guard(cache.lock);
  if (!cache.info) {
    ComPtr<ITypeLib> lib;
    // Type library 1 of the control file itself.
    if (SUCCEEDED(::LoadTypeLibEx(controlModulePath().c_str(), REGKIND_NONE, lib.put())) && lib)
      lib->GetTypeInfoOfGuid(IID_IOstwinCtrl, cache.info.put());
  }
  return cache.info.get();
}

}  // namespace orv::tokenctl
