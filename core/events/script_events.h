#pragma once
// Everything the main dialog forwards to the scripts besides page calls, behind the few calls its
// initialisation and window procedure make:
//   step 10  readCallbackNames()          step 14  startTimers(hwnd)
//   step 15  resetDeviceState()           step 16  registerDeviceNotifications(hwnd)
//   WM_DEVICECHANGE  return onDeviceChange(wParam, lParam)
//   WM_TIMER         onTimer(wParam), then the default handling
//   WM_DESTROY       onDestroy(hwnd)      (the registrations go with this object)
#include <windows.h>

#include "device_events.h"
#include "script_timers.h"

class LuaObject;

namespace orv::core {

class ScriptEvents {
 public:
  explicit ScriptEvents(LuaObject* engine, SecondsClock clock = systemSecondsClock());

  void readCallbackNames();
  // Starts the timers with the configured period (none when it is 0). Returns whether they run.
  bool startTimers(HWND window);
  void resetDeviceState() { devices_.reset(); }
  std::size_t registerDeviceNotifications(HWND window) {
    return notifications_.registerInterfaces(window);
  }

  LRESULT onDeviceChange(WPARAM eventCode, LPARAM record) {
    return devices_.onDeviceChange(eventCode, record);
  }
  // Timer 1: the timer callback on a new thread; timer 2: the settling rule. Others: nothing.
  void onTimer(WPARAM timerId);
  // Kills timer 1 (timer 2 ends with the window).
  void onDestroy(HWND window);

  const ScriptCallbackNames& callbackNames() const { return names_; }
  DeviceEventForwarder& devices() { return devices_; }
  DeviceNotifications& notifications() { return notifications_; }

 private:
  LuaObject* engine_;
  ScriptCallbackNames names_;
  DeviceEventForwarder devices_;
  DeviceNotifications notifications_;
};

}  // namespace orv::core
