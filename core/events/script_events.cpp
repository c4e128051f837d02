#include "script_events.h"

#include <utility>

namespace orv::core {

ScriptEvents::ScriptEvents(LuaObject* engine, SecondsClock clock)
    : engine_(engine), devices_(engine, std::move(clock)) {}

void ScriptEvents::readCallbackNames() {
  names_ = readScriptCallbackNames(engine_);
  devices_.setCallbackName(names_.device);
}

bool ScriptEvents::startTimers(HWND window) {
  return startScriptTimers(window, readScriptTimerSpan(engine_));
}

void ScriptEvents::onTimer(WPARAM timerId) {
  if (timerId == kScriptTimerId)
    runTimerCallbackOnNewThread(engine_, names_.timer);
  else if (timerId == kSettleTimerId)
    devices_.onSettleTick();
}

void ScriptEvents::onDestroy(HWND window) { ::KillTimer(window, kScriptTimerId); }

}  // namespace orv::core
