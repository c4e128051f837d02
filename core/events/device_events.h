#pragma once
// WM_DEVICECHANGE for the core host: reading the broadcast record safely and the forwarding of
// settled events to the script's device callback (the registrations are in
// device_notifications.h).
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "device_event_rules.h"
#include "device_notifications.h"

class LuaObject;

namespace orv::core {

// The device interface name of a broadcast record, or nothing when there is no record or it is
// not a device-interface record (volume, port and handle broadcasts reach every top-level window
// and carry no interface name). The record's own size bounds what is read.
std::optional<std::wstring> deviceInterfaceName(LPARAM record);

// `name` lower-cased and converted to the ANSI code page.
std::string lowerCaseAnsiName(const std::wstring& name);

// The current time through _time64, in seconds since 1970.
SecondsClock systemSecondsClock();

// The pending device event and its delivery to the script's device callback.
class DeviceEventForwarder {
 public:
  using DebugOutput = std::function<void(const char*)>;

  DeviceEventForwarder(LuaObject* engine, SecondsClock clock = systemSecondsClock());

  void setCallbackName(std::string name) { callbackName_ = std::move(name); }
  // Where the settling rule's debug texts go (traceText unless replaced).
  void setDebugOutput(DebugOutput output) { debugOutput_ = std::move(output); }

  // Start state: last event time now, nothing pending.
  void reset() { state_.reset(); }
  // WM_DEVICECHANGE; always answered TRUE.
  LRESULT onDeviceChange(WPARAM eventCode, LPARAM record);
  // A tick of the settling timer: delivers a settled event asynchronously (mode 2). Returns
  // whether it delivered.
  bool onSettleTick();

  const DeviceEventState& state() const { return state_; }

 private:
  LuaObject* engine_;
  DeviceEventState state_;
  std::string callbackName_;
  DebugOutput debugOutput_;
};

}  // namespace orv::core
