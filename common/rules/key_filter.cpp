#include "key_filter.h"

#include <algorithm>

namespace orv {

KeyPolicy coreKeyPolicy() { return KeyPolicy{{0x0D, 0x1B, 0x70, 0x74}, true}; }
KeyPolicy updaterKeyPolicy() { return KeyPolicy{{0x74}, true}; }

bool dropsMessage(const KeyPolicy& policy, unsigned message, unsigned long long wParam,
                  bool controlDown) {
  if (message == kMsgKeyDown) {
    return std::find(policy.droppedKeys.begin(), policy.droppedKeys.end(),
                     static_cast<unsigned>(wParam)) != policy.droppedKeys.end();
  }
  if (message == kMsgMouseWheel) return policy.dropControlWheel && controlDown;
  return false;
}

bool swallowsAccelerator(unsigned message, bool controlDown, bool oDown, bool pDown, bool nDown) {
  return controlDown && message == kMsgKeyDown && (oDown || pDown || nDown);
}

}  // namespace orv
