#pragma once
// The keys a hosted page never sees, so that it behaves like an application window rather than
// a browser (no reload, no help, no zoom, no opening, printing or duplicating by shortcut).
#include <vector>

namespace orv {

constexpr unsigned kMsgKeyDown = 0x0100;     // WM_KEYDOWN
constexpr unsigned kMsgMouseWheel = 0x020A;  // WM_MOUSEWHEEL

struct KeyPolicy {
  std::vector<unsigned> droppedKeys;  // virtual-key codes whose WM_KEYDOWN is dropped
  bool dropControlWheel = true;       // Control + wheel would zoom
};

// The core host: Enter, Escape, F1 and F5. The updater: F5 only.
KeyPolicy coreKeyPolicy();
KeyPolicy updaterKeyPolicy();

// Pre-translation: true when the message is dropped before the browser sees it.
bool dropsMessage(const KeyPolicy& policy, unsigned message, unsigned long long wParam,
                  bool controlDown);

// The document host's accelerator rule: a key-down with Control held while O, P or N is down
// is swallowed.
bool swallowsAccelerator(unsigned message, bool controlDown, bool oDown, bool pDown, bool nDown);

}  // namespace orv
