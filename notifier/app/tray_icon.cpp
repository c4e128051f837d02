#include "tray_icon.h"

#include <cwchar>
#include <string>

#include "notifier_rules.h"
#include "process_util.h"
#include "product.h"

namespace orv::notifier {

namespace {

NOTIFYICONDATAW iconData(HWND owner, std::size_t size) {
  NOTIFYICONDATAW data = {};
  data.cbSize = static_cast<DWORD>(size);
  data.hWnd = owner;
  data.uID = kTrayIconId;
  return data;
}

}  // namespace

bool addTrayIcon(HWND owner, HICON icon) {
  NOTIFYICONDATAW data = iconData(owner, kTrayIconFullSize);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  data.hIcon = icon;
  std::wcsncpy(data.szTip, kProductName, 128);
  data.szTip[127] = L'\0';
  return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

bool removeTrayIcon(HWND owner) {
  NOTIFYICONDATAW data = iconData(owner, kTrayIconFullSize);
  return Shell_NotifyIconW(NIM_DELETE, &data) != FALSE;
}

bool showUpdateBalloon(HWND owner) {
  NOTIFYICONDATAW data = iconData(owner, kTrayIconBalloonSize);
  data.uFlags = NIF_INFO;
  // The text (well under the field's 256 characters) is copied whole.
  std::wcsncpy(data.szInfo, kUpdateBalloonText, 255);
  data.uTimeout = kUpdateBalloonTimeoutMs;
  data.szInfoTitle[0] = L'\0';
  data.dwInfoFlags = NIIF_NONE;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

void launchCoreHost(const wchar_t* argument) {
  const std::wstring path = quotedCoreHostPath(moduleDirectory());
  ShellExecuteW(nullptr, L"open", path.c_str(), argument, nullptr, SW_SHOW);
}

}  // namespace orv::notifier
