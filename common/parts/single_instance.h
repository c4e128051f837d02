#pragma once
// The single-instance parts the three programs share: a registered window message that a new
// copy broadcasts (wParam 1 asks running copies to end), its admission through the message
// filter, and the named mutex that marks the running copy.
#include <windows.h>

#include "scoped_handle.h"

namespace orv {

// wParam of the broadcast that asks running copies to end.
constexpr WPARAM kInstanceQuitRequest = 1;

// Registers the program's message. When that fails it shows "Can not initialize." and gives 0:
// the program then cannot start.
UINT registerInstanceMessage(const wchar_t* name);

// Posts `message` to every top-level window.
void broadcastInstanceMessage(UINT message, WPARAM wParam, LPARAM lParam = 0);

// Lets the message through the message filter, so that a copy running with fewer rights can
// still reach this one. Only on Vista and later, where the function exists (looked up at run
// time).
void admitInstanceMessage(UINT message);

// Lets `message` through the message filter of `window` alone (Windows 7 on), or of the process
// where only the process-wide filter exists (Vista): a sender with fewer rights (the shell, a
// copy started without elevation) then reaches an elevated program's window. Both looked up at
// run time; nothing before Vista, which has no such filter.
void admitWindowMessage(HWND window, UINT message);

// Creates the named mutex. Empty when it already existed (another copy runs) or could not be
// created; the caller keeps a valid one open for the life of the process.
[[nodiscard]] ScopedHandle takeInstanceMutex(const wchar_t* name,
                                             SECURITY_ATTRIBUTES* security = nullptr);

}  // namespace orv
