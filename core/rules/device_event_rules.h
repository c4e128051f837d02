#pragma once
// The device-event rules of the core host, free of Windows: the pending text, flag and time that
// WM_DEVICECHANGE fills, the settling rule the 2-second timer applies, the JSON text the scripts
// receive. The array that keeps the device-notification handles is in handle_array.h.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "handle_array.h"

namespace orv::core {

// Seconds since 1970. Every reading of "now" by the settling rule goes through one of these, so
// tests can move time, backwards included.
using SecondsClock = std::function<std::int64_t()>;

constexpr std::uint32_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE

// The device-event text: {"deviceName":...,"eventType":...} in that order, compact, with a line
// feed at the end; quotes, backslashes and control characters escaped, other bytes as they are.
std::string deviceEventText(const std::string& deviceName, const char* eventType);

// What a tick of the settling timer decided.
struct SettleDecision {
  const char* debugText = nullptr;  // the text written to the debugger output
  bool deliver = false;             // call the device callback with `text`
  std::string text;
};

extern const char kNoDeviceChanged[];        // "no device changed"
extern const char kWithinTwoSeconds[];       // "time within 2 secondes  pass"
extern const char kOverTwoSecondsDeliver[];  // "time over 2 seconds  run DeviceChange"

class DeviceEventState {
 public:
  explicit DeviceEventState(SecondsClock clock);

  // Start state (dialog initialisation): last event time now, nothing pending.
  void reset();

  // One device-interface broadcast: `eventCode` as WM_DEVICECHANGE passes it, `lowerCaseName`
  // the interface name already lower-cased and in the ANSI code page. An empty name changes
  // nothing. Any named broadcast marks the state pending; only an arrival or a removal writes the
  // text and the time, so another event delivers the previous text again.
  void onInterfaceEvent(std::uint32_t eventCode, const std::string& lowerCaseName);

  // One tick of the settling timer: delivers once at least 3 whole seconds separate now from the
  // last arrival or removal; a clock set back waits until it has caught up.
  SettleDecision onSettleTick();

  bool pending() const { return pending_; }
  const std::string& pendingText() const { return pendingText_; }
  std::int64_t lastEventTime() const { return lastEventTime_; }

 private:
  SecondsClock clock_;
  std::string pendingText_;
  bool pending_ = false;
  std::int64_t lastEventTime_ = 0;
};

}  // namespace orv::core
