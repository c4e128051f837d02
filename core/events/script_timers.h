#pragma once
// The script timers of the core host: timer 1 runs the configured Lua callback on a fresh thread
// per tick; timer 2 (every 2000 ms) is the device events' settling delay. Both run on the main
// window, and neither runs when the configured period is 0 or absent.
#include <windows.h>

#include <string>

class LuaObject;

namespace orv::core {

constexpr UINT_PTR kScriptTimerId = 1;
constexpr UINT_PTR kSettleTimerId = 2;
constexpr UINT kSettleTimerMs = 2000;

extern const wchar_t kTimerSpanPath[];       // "MSGcallbacks.WM_TIMER.1.span"
extern const wchar_t kTimerCallbackPath[];   // "MSGcallbacks.WM_TIMER.1.callback"
extern const wchar_t kDeviceCallbackPath[];  // "MSGcallbacks.WM_DEVICECHANGE.callback"

struct ScriptCallbackNames {
  std::string timer;   // called on every tick of timer 1, mode 1, no argument
  std::string device;  // called with the device-event text, mode 2
};

// Reads both callback names from the configuration (copied at once; a missing one is empty).
ScriptCallbackNames readScriptCallbackNames(LuaObject* engine);
// The timer period in milliseconds; 0 when absent.
int readScriptTimerSpan(LuaObject* engine);

// Starts timer 1 with `spanMs` and timer 2 with 2000 ms on `window`; nothing when `spanMs` is 0.
// Returns whether the timers run.
bool startScriptTimers(HWND window, int spanMs);

// One tick of timer 1: a new thread calls `callback` synchronously with no argument and ends;
// ticks never wait for earlier callbacks, so they may overlap. False when no thread could start.
bool runTimerCallbackOnNewThread(LuaObject* engine, const std::string& callback);

}  // namespace orv::core
