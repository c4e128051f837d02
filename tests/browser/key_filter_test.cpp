#include <gtest/gtest.h>

#include "key_filter.h"

namespace orv {
namespace {

constexpr unsigned kChar = 0x0102;  // WM_CHAR

TEST(KeyFilter, CoreHostDropsEnterEscapeF1AndF5) {
  const KeyPolicy core = coreKeyPolicy();
  for (unsigned vk : {0x0Du, 0x1Bu, 0x70u, 0x74u})
    EXPECT_TRUE(dropsMessage(core, kMsgKeyDown, vk, false)) << vk;
  for (unsigned vk : {0x41u, 0x09u, 0x71u, 0x75u, 0x08u})
    EXPECT_FALSE(dropsMessage(core, kMsgKeyDown, vk, false)) << vk;
  // Only the key-down is dropped.
  EXPECT_FALSE(dropsMessage(core, kChar, 0x0D, false));
}

TEST(KeyFilter, UpdaterDropsOnlyF5) {
  const KeyPolicy updater = updaterKeyPolicy();
  EXPECT_TRUE(dropsMessage(updater, kMsgKeyDown, 0x74, false));
  for (unsigned vk : {0x0Du, 0x1Bu, 0x70u})
    EXPECT_FALSE(dropsMessage(updater, kMsgKeyDown, vk, false)) << vk;
}

TEST(KeyFilter, ControlWheelNeverZooms) {
  for (const KeyPolicy& p : {coreKeyPolicy(), updaterKeyPolicy()}) {
    EXPECT_TRUE(dropsMessage(p, kMsgMouseWheel, 0x00780000, true));
    EXPECT_FALSE(dropsMessage(p, kMsgMouseWheel, 0x00780000, false));
  }
}

TEST(KeyFilter, ControlOPNAreSwallowedOnKeyDownOnly) {
  EXPECT_TRUE(swallowsAccelerator(kMsgKeyDown, true, true, false, false));
  EXPECT_TRUE(swallowsAccelerator(kMsgKeyDown, true, false, true, false));
  EXPECT_TRUE(swallowsAccelerator(kMsgKeyDown, true, false, false, true));
  EXPECT_FALSE(swallowsAccelerator(kMsgKeyDown, false, true, true, true));
  EXPECT_FALSE(swallowsAccelerator(kMsgKeyDown, true, false, false, false));
  EXPECT_FALSE(swallowsAccelerator(kChar, true, true, false, false));
}

}  // namespace
}  // namespace orv
