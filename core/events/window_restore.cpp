#include "window_restore.h"

namespace orv {

bool restoreMinimisedWindow(HWND window) {
  if (window == nullptr || !::IsIconic(window)) return false;
  RECT rect = {};
  ::GetWindowRect(window, &rect);
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - (rect.right - rect.left)) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - (rect.bottom - rect.top)) / 3;
  const UINT flags = SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER;  // 0x241
  ::SetWindowPos(window, HWND_TOPMOST, x, y, 0, 0, flags);
  ::SetWindowPos(window, HWND_NOTOPMOST, x, y, 0, 0, flags);
  ::ShowWindow(window, SW_SHOWNORMAL);
  return true;
}

}  // namespace orv
