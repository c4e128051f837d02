#pragma once
// The restore sequence of a minimised main window, shared by the single-instance activation and
// the pipe's "PopAss".
#include <windows.h>

namespace orv::core {

// Only when `window` is minimised: centred across and a third down the screen, put in front by
// inserting it as topmost and then as not topmost, then shown normal. Returns whether it acted.
bool restoreMinimisedWindow(HWND window);

}  // namespace orv::core
