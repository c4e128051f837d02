#include "window_restore.h"

#include "start_rules.h"

namespace orv::core {

bool restoreMinimisedWindow(HWND window) {
  if (window == nullptr || !::IsIconic(window)) return false;
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  const ScreenPoint at =
      restorePosition(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                      rect.right - rect.left, rect.bottom - rect.top);
  const UINT flags = SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER;  // 0x241
  // Topmost and back again brings the window in front of every other one.
  ::SetWindowPos(window, HWND_TOPMOST, at.x, at.y, 0, 0, flags);
  ::SetWindowPos(window, HWND_NOTOPMOST, at.x, at.y, 0, 0, flags);
  ::ShowWindow(window, SW_SHOWNORMAL);
  return true;
}

}  // namespace orv::core
