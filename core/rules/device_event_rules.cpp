#include "device_event_rules.h"

#include <json/json.h>

#include <new>
#include <stdexcept>
#include <utility>

namespace orv::core {

const char kNoDeviceChanged[] = "no device changed";
const char kWithinTwoSeconds[] = "time within 2 secondes  pass";
const char kOverTwoSecondsDeliver[] = "time over 2 seconds  run DeviceChange";

std::string deviceEventText(const std::string& deviceName, const char* eventType) {
  Json::Value event(Json::objectValue);
  event["deviceName"] = deviceName;
  event["eventType"] = eventType;
  // The compact writer's layout (sorted keys, no blanks, a closing line feed), but with bytes
  // above 0x7F kept as they are: the compact writer of this JsonCpp reads them as UTF-8 and would
  // turn ANSI code-page names into replacement characters, swallowing the bytes after them.
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, event) + "\n";
}

DeviceEventState::DeviceEventState(SecondsClock clock) : clock_(std::move(clock)) {}

void DeviceEventState::reset() {
  lastEventTime_ = clock_();
  pending_ = false;
}

void DeviceEventState::onInterfaceEvent(std::uint32_t eventCode, const std::string& lowerCaseName) {
  if (lowerCaseName.empty()) return;
  pending_ = true;
  const char* type = nullptr;
  if (eventCode == kDeviceArrival) type = "insert";
  if (eventCode == kDeviceRemoveComplete) type = "move";
  if (type == nullptr) return;
  pendingText_ = deviceEventText(lowerCaseName, type);
  lastEventTime_ = clock_();
}

SettleDecision DeviceEventState::onSettleTick() {
  SettleDecision d;
  if (!pending_) {
    d.debugText = kNoDeviceChanged;
    return d;
  }
  const std::int64_t now = clock_();
  const std::int64_t elapsed = now - lastEventTime_;
  if (elapsed < 0 || elapsed <= 2) {
    d.debugText = kWithinTwoSeconds;
    return d;
  }
  d.debugText = kOverTwoSecondsDeliver;
  lastEventTime_ = now;
  pending_ = false;
  d.deliver = true;
  d.text = pendingText_;
  return d;
}

}  // namespace orv::core
