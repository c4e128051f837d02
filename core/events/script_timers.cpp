#include "script_timers.h"

#include <memory>

#include "Kavrel.h"

#include "thread.h"

namespace orv::core {

const wchar_t kTimerSpanPath[] = L"MSGcallbacks.WM_TIMER.1.span";
const wchar_t kTimerCallbackPath[] = L"MSGcallbacks.WM_TIMER.1.callback";
const wchar_t kDeviceCallbackPath[] = L"MSGcallbacks.WM_DEVICECHANGE.callback";

namespace {

// The engine's reads take a mutable path.
std::wstring mutablePath(const wchar_t* path) { return std::wstring(path); }

std::string readText(LuaObject* engine, const wchar_t* path) {
  std::wstring p = mutablePath(path);
  const char* text = GetTableItemValue<char*>(engine, &p[0]);
  return text ? std::string(text) : std::string();  // copied before the next engine call
}

struct TickContext {
  LuaObject* engine;
  std::string callback;
};

void runTick(TickContext& tick) { tick.engine->KavrelFunc(1, tick.callback.c_str(), nullptr); }

}  // namespace

ScriptCallbackNames readScriptCallbackNames(LuaObject* engine) {
  ScriptCallbackNames names;
  if (engine == nullptr) return names;
  names.timer = readText(engine, kTimerCallbackPath);
  names.device = readText(engine, kDeviceCallbackPath);
  return names;
}

int readScriptTimerSpan(LuaObject* engine) {
  if (engine == nullptr) return 0;
  std::wstring p = mutablePath(kTimerSpanPath);
  return GetTableItemValue<int>(engine, &p[0]);
}

bool startScriptTimers(HWND window, int spanMs) {
  if (spanMs == 0) return false;
  ::SetTimer(window, kScriptTimerId, static_cast<UINT>(spanMs), nullptr);
  ::SetTimer(window, kSettleTimerId, kSettleTimerMs, nullptr);
  return true;
}

bool runTimerCallbackOnNewThread(LuaObject* engine, const std::string& callback) {
  if (engine == nullptr) return false;
  auto tick = std::make_unique<TickContext>(TickContext{engine, callback});
  // The thread owns its copy of the name.
  return startDetachedThread(std::move(tick), &runTick);
}

}  // namespace orv::core
