#include "dialog_menu.h"

#include <algorithm>

namespace orv {

namespace {

INT_PTR CALLBACK aboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      centreWindow(hwnd, ::GetWindow(hwnd, GW_OWNER));
      for (const auto& [id, text] : *reinterpret_cast<const AboutTexts*>(lParam))
        ::SetDlgItemTextW(hwnd, id, text.c_str());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

void addAboutMenuItem(HWND dialog, UINT textId, UINT command) {
  wchar_t text[128] = {};
  if (::LoadStringW(::GetModuleHandleW(nullptr), textId, text, 128) <= 0 || text[0] == L'\0')
    return;
  HMENU menu = ::GetSystemMenu(dialog, FALSE);
  if (!menu) return;
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, command, text);
}

void showAboutBox(HWND owner, UINT templateId, const AboutTexts& texts) {
  ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner, &aboutProc,
                    reinterpret_cast<LPARAM>(&texts));
}

void centreWindow(HWND window, HWND owner) {
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  if (!::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTOPRIMARY),
                         &monitor))
    return;
  const RECT work = monitor.rcWork;
  RECT area = work;
  RECT ownerRect = {};
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner) &&
      ::GetWindowRect(owner, &ownerRect) && !::IsRectEmpty(&ownerRect))
    area = ownerRect;
  RECT own = {};
  if (!::GetWindowRect(window, &own)) return;
  const int width = own.right - own.left, height = own.bottom - own.top;
  int x = area.left + (area.right - area.left - width) / 2;
  int y = area.top + (area.bottom - area.top - height) / 2;
  x = std::max<int>(work.left, std::min<int>(x, work.right - width));
  y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
  ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void paintMinimisedIcon(HWND dialog, HICON icon) {
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(dialog, &paint);
  ::SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client = {};
  ::GetClientRect(dialog, &client);
  const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, icon);
  ::EndPaint(dialog, &paint);
}

}  // namespace orv
