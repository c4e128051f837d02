#include "lumora_pop_dlg.h"

#include <dbt.h>

#include <cstdlib>
#include <memory>

#include "dialog_menu.h"
#include "notifier_command_handler.h"
#include "notifier_pipe_server.h"
#include "notifier_rules.h"
#include "process_util.h"
#include "product.h"
#include "product_key.h"
#include "program_shell.h"
#include "single_instance.h"
#include "resource.h"
#include "tray_icon.h"
#include "scoped_gdi.h"

namespace orv::notifier {

namespace {

std::wstring& versionTextStorage() {
  static std::wstring text;
  return text;
}

}  // namespace

const std::wstring& notifierVersionText() { return versionTextStorage(); }

CLumoraPopDlg::CLumoraPopDlg(ProgramShell& shell)
    : ModalDialog(IDD_LUMORAPOP_DIALOG),
      shell_(shell),
      icon_(
          static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                        IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED))) {}

INT_PTR CLumoraPopDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const UINT quitMessage = shell_.instanceMessage();
  if (quitMessage != 0 && message == quitMessage) {
    // Another copy started with "-t": an orderly end.
    if (wParam == orv::kInstanceQuitRequest) {
      removeTrayIcon(hwnd_);
      EndDialog(hwnd_, 0);
    }
    return FALSE;  // the default handling follows
  }
  if (taskbarCreated_ != 0 && message == taskbarCreated_) {
    addTrayIcon(hwnd_, trayIcon_);  // the shell restarted without our icon
    return FALSE;
  }
  switch (message) {
    case kTrayCallbackMessage:
      OnTrayCallback(lParam);
      return FALSE;
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case IDM_ABOUTBOX:
          ShowAboutBox();  // no one-at-a-time guard from the system menu
          return TRUE;
        case SC_MINIMIZE:
          ShowWindow(hwnd_, SW_HIDE);
          return FALSE;
        case SC_CLOSE:
          removeTrayIcon(hwnd_);
          return FALSE;  // closed by the default handling (WM_CLOSE, then Cancel)
      }
      return FALSE;
    case WM_SIZE:
      // The modal loop shows the dialog once it is idle; it goes again at once.
      ShowWindow(hwnd_, SW_HIDE);
      return FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_DEVICECHANGE:
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, OnDeviceChange(wParam, lParam));
      return TRUE;
    case WM_QUIT:
      // Only the pipe's "QuitCmd" sends it: the process ends at once, the tray icon left as is,
      // also while the About box is open (docs/architecture.md, "A program").
      std::exit(0);
    default:
      return FALSE;
  }
}

INT_PTR CLumoraPopDlg::OnInitDialog() {
  orv::addAboutMenuItem(hwnd_, IDS_ABOUTBOX, IDM_ABOUTBOX);
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  SetWindowTextW(hwnd_, orv::kProductName);
  aboutGuard_ = false;
  versionTextStorage() = orv::readVersionText(orv::kProductId);
  SetCurrentDirectoryW(orv::moduleDirectory().c_str());

  if (!shell_.takeInstanceMutex()) {
    // Another copy runs: this one ends before it has an icon or a pipe, leaving the other alone.
    EndDialog(hwnd_, kAnotherCopyRuns);
    return FALSE;
  }

  AddTrayIcon();
  toasts_[0].Create(hwnd_);

  if (IsWindow(hwnd_)) notifications_.registerInterfaces(hwnd_);
  // Without a pipe everything else keeps working.
  pipe_ = startNotifierPipeServer(std::make_unique<DefaultNotifierCommandHandler>(hwnd_));
  HideForGood();
  return TRUE;
}

void CLumoraPopDlg::AddTrayIcon() {
  trayIcon_ = static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED | LR_DEFAULTSIZE));
  addTrayIcon(hwnd_, trayIcon_);
  // Started by an elevated core host, the notifier still hears the shell and the quit broadcast
  // of copies without elevation, and its icon's clicks.
  taskbarCreated_ = RegisterWindowMessageW(kTaskbarCreatedMessageName);
  for (UINT message :
       {taskbarCreated_, static_cast<UINT>(kTrayCallbackMessage), shell_.instanceMessage()})
    if (message != 0) orv::admitWindowMessage(hwnd_, message);
}

void CLumoraPopDlg::HideForGood() {
  const LONG_PTR exStyle = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, exStyle & ~kHiddenExStyleMask);
  MoveWindow(hwnd_, 0, 0, 0, 0, FALSE);
  ShowWindow(hwnd_, SW_MINIMIZE);
}

void CLumoraPopDlg::OnTrayCallback(LPARAM mouseMessage) {
  switch (static_cast<UINT>(mouseMessage)) {
    case WM_LBUTTONDBLCLK:
      if (IsWindowVisible(hwnd_))
        ShowWindow(hwnd_, SW_HIDE);
      else
        launchCoreHost(L"-nokey");
      break;
    case WM_RBUTTONUP:
      ShowTrayMenu();
      break;
    default:
      break;
  }
}

void CLumoraPopDlg::ShowTrayMenu() {
  orv::ScopedMenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
  if (!menu) return;
  HMENU popup = GetSubMenu(menu.get(), 0);
  if (!popup) return;
  POINT cursor = {};
  GetCursorPos(&cursor);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(hwnd_);
  const MenuPoint at = trayMenuPosition(cursor.x, cursor.y);
  TrackPopupMenu(popup, 0, at.x, at.y, 0, hwnd_, nullptr);
}

bool CLumoraPopDlg::OnCommand(WORD id) {
  switch (id) {
    case ID_TRAY_SHOW:
      launchCoreHost(L"-nokey");
      return true;
    case ID_TRAY_ABOUT:
      OnGuardedAbout();
      return true;
    case ID_TRAY_EXIT:
      removeTrayIcon(hwnd_);
      launchCoreHost(L"-t");
      std::exit(0);  // the menu's exit ends the process at once, with no further clean-up
    case IDOK:
    case IDCANCEL:
      EndDialog(hwnd_, id);
      return true;
    default:
      return false;
  }
}

void CLumoraPopDlg::OnGuardedAbout() {
  if (aboutGuard_) return;
  aboutGuard_ = true;
  ShowAboutBox();
  aboutGuard_ = false;
}

void CLumoraPopDlg::ShowAboutBox() {
  orv::showAboutBox(hwnd_, IDD_ABOUTBOX,
                    {{IDC_ABOUT_PRODUCT, kAboutProductText},
                     {IDC_ABOUT_VERSION, aboutVersionLine(notifierVersionText())},
                     {IDC_ABOUT_FIXED, kAboutFixedText}});
}

LRESULT CLumoraPopDlg::OnDeviceChange(WPARAM, LPARAM) {
  // A device arrival starts nothing: the launch of the core host on an arrival is held back.
  return TRUE;
}

}  // namespace orv::notifier
