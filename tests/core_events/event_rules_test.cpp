// The core host's pipe commands and device-event rules, without Windows: the command table, the
// pipe mode, the device-event text, the settling rule on a clock the test moves, and the handle
// array's growth.
#include <gtest/gtest.h>
#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>

#include "core_command.h"
#include "device_event_rules.h"

namespace orv::core {
namespace {

TEST(CoreCommandTable, EachCommandRunsItsMethodAndTheNotifiersNone) {
  using Method = void (CoreCommandHandler::*)(const std::u16string&);
  const std::pair<std::u16string, Method> cases[] = {
      {u"PopAss", &CoreCommandHandler::popAss},
      {u"QuitCmd", &CoreCommandHandler::quit},
      {u"DownLoadErrorCmd", &CoreCommandHandler::downloadError},
      {u"UserConfirmCmd", &CoreCommandHandler::userConfirm},
      {u"UpdatePopCmd", nullptr},
      {u"popass", nullptr},
  };
  for (const auto& [command, method] : cases)
    EXPECT_TRUE(pipeCommandMethod(kCoreCommands, command) == method);
}

TEST(CorePipeMode, RefusesRemoteClientsFromVistaOn) {
  EXPECT_EQ(corePipeMode(true), 0x4u | 0x8u);
  EXPECT_EQ(corePipeMode(false), 0x4u);
}

std::string fastWriterText(const std::string& name, const char* type) {
  Json::Value v;
  v["deviceName"] = name;
  v["eventType"] = type;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  Json::FastWriter writer;
  return writer.write(v);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

TEST(DeviceEventText, IsTheCompactWritersTextForAsciiNames) {
  const std::string name =
      "\\\\?\\hid#vid_046d&pid_c52b#7&1a2b3c&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  const std::string text = deviceEventText(name, "insert");
  EXPECT_EQ(text, fastWriterText(name, "insert"));
  EXPECT_EQ(text.front(), '{');
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find(' '), std::string::npos);
  EXPECT_LT(text.find("\"deviceName\""), text.find("\"eventType\":\"insert\""));
  EXPECT_NE(text.find("\\\\\\\\?\\\\hid#"), std::string::npos) << text;  // backslashes escaped
  EXPECT_EQ(deviceEventText("a\"b\x01", "move"), fastWriterText("a\"b\x01", "move"));
  EXPECT_EQ(deviceEventText("a\"b\x01", "move"),
            "{\"deviceName\":\"a\\\"b\\u0001\",\"eventType\":\"move\"}\n");
}

TEST(DeviceEventText, KeepsCodePageBytesAsTheyAre) {
  // "é" in code page 1252 followed by a quote: both must survive.
  const std::string text = deviceEventText("usb\xE9\"x", "insert");
  EXPECT_EQ(text, "{\"deviceName\":\"usb\xE9\\\"x\",\"eventType\":\"insert\"}\n");
  Json::Value back;
  Json::CharReaderBuilder reader;
  std::string errors;
  std::istringstream in(text);
  ASSERT_TRUE(Json::parseFromStream(reader, in, &back, &errors)) << errors;
  EXPECT_EQ(back["deviceName"].asString(), "usb\xE9\"x");
}

class Settling : public ::testing::Test {
 protected:
  std::int64_t now_ = 1000000;
  DeviceEventState state_{[this] { return now_; }};
  void SetUp() override { state_.reset(); }
};

TEST_F(Settling, NothingPendingSaysNoDeviceChanged) {
  EXPECT_EQ(state_.lastEventTime(), now_);
  const SettleDecision d = state_.onSettleTick();
  EXPECT_STREQ(d.debugText, "no device changed");
  EXPECT_FALSE(d.deliver);
}

TEST_F(Settling, AnArrivalAtTIsDeliveredAtTheFirstTickAtOrAfterTPlus3) {
  now_ += 10;
  const std::int64_t t = now_;
  state_.onInterfaceEvent(kDeviceArrival, "\\\\?\\cdrom#x");
  EXPECT_TRUE(state_.pending());
  EXPECT_EQ(state_.lastEventTime(), t);
  for (std::int64_t s : {0, 1, 2}) {
    now_ = t + s;
    const SettleDecision d = state_.onSettleTick();
    EXPECT_STREQ(d.debugText, "time within 2 secondes  pass") << s;
    EXPECT_FALSE(d.deliver);
  }
  now_ = t + 3;
  const SettleDecision d = state_.onSettleTick();
  EXPECT_STREQ(d.debugText, "time over 2 seconds  run DeviceChange");
  ASSERT_TRUE(d.deliver);
  EXPECT_EQ(d.text, deviceEventText("\\\\?\\cdrom#x", "insert"));
  EXPECT_FALSE(state_.pending());
  EXPECT_EQ(state_.lastEventTime(), t + 3);
  EXPECT_FALSE(state_.onSettleTick().deliver);  // once only
}

TEST_F(Settling, PlugAndPullWithinTwoSecondsDeliversOnlyTheRemoval) {
  state_.onInterfaceEvent(kDeviceArrival, "hid#a");
  now_ += 2;
  EXPECT_FALSE(state_.onSettleTick().deliver);
  state_.onInterfaceEvent(kDeviceRemoveComplete, "hid#a");
  now_ += 2;
  EXPECT_FALSE(state_.onSettleTick().deliver);  // 4 s after the arrival, 2 after the removal
  now_ += 1;
  const SettleDecision d = state_.onSettleTick();
  ASSERT_TRUE(d.deliver);
  EXPECT_EQ(d.text, deviceEventText("hid#a", "move"));
  EXPECT_FALSE(state_.onSettleTick().deliver);
}

TEST_F(Settling, AClockSetBackWaitsUntilItHasCaughtUp) {
  const std::int64_t t = now_;
  state_.onInterfaceEvent(kDeviceArrival, "hid#b");
  now_ = t - 3600;
  EXPECT_STREQ(state_.onSettleTick().debugText, "time within 2 secondes  pass");
  now_ = t + 2;
  EXPECT_FALSE(state_.onSettleTick().deliver);
  now_ = t + 3;
  EXPECT_TRUE(state_.onSettleTick().deliver);
}

TEST_F(Settling, OtherEventsKeepTheTextAndTimeButStayPending) {
  state_.onInterfaceEvent(kDeviceArrival, "hid#c");
  now_ += 5;
  ASSERT_TRUE(state_.onSettleTick().deliver);
  const std::int64_t delivered = state_.lastEventTime();
  now_ += 1;
  state_.onInterfaceEvent(0x8001 /* query remove */, "hid#other");
  EXPECT_TRUE(state_.pending());
  EXPECT_EQ(state_.lastEventTime(), delivered);
  EXPECT_EQ(state_.pendingText(), deviceEventText("hid#c", "insert"));
  now_ += 2;
  const SettleDecision d = state_.onSettleTick();
  ASSERT_TRUE(d.deliver);  // the previous text again
  EXPECT_EQ(d.text, deviceEventText("hid#c", "insert"));
}

TEST_F(Settling, AnEmptyNameChangesNothing) {
  state_.onInterfaceEvent(kDeviceArrival, "");
  EXPECT_FALSE(state_.pending());
  EXPECT_EQ(state_.pendingText(), "");
}

TEST(HandleArray, CapacityIsOneThenDoubles) {
  HandleArray a;
  EXPECT_EQ(a.capacity(), 0u);
  int slots[9];
  std::size_t expected[] = {1, 2, 4, 4, 8, 8, 8, 8, 16};
  for (int i = 0; i < 9; ++i) {
    EXPECT_TRUE(a.append(&slots[i]));
    EXPECT_EQ(a.count(), static_cast<std::size_t>(i + 1));
    EXPECT_EQ(a.capacity(), expected[i]) << i;
  }
  for (int i = 0; i < 9; ++i) EXPECT_EQ(a.at(i), &slots[i]);
  a.clear();
  EXPECT_EQ(a.count(), 0u);
  EXPECT_EQ(a.capacity(), 0u);
}

TEST(HandleArray, AHandleBeyondTheLimitIsNotKept) {
  EXPECT_EQ(HandleArray::kMaxCapacity, 0x1FFFFFFFu);
  HandleArray a(5);  // doubling 4 -> 8 would pass the limit
  int slots[6];
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(a.append(&slots[i]));
  EXPECT_FALSE(a.append(&slots[4]));
  EXPECT_EQ(a.count(), 4u);
  EXPECT_EQ(a.capacity(), 4u);
}

}  // namespace
}  // namespace orv::core
