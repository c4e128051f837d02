#pragma once
// CLumoraPopDlg: the tray notifier's main dialog. It never shows: it owns the tray icon and the
// toast slots, receives the tray callbacks, the tray menu's commands, the quit broadcast and the
// device arrivals, and starts the pipe.
#include <windows.h>

#include <array>
#include <string>

#include "device_notifications.h"
#include "pipe_server.h"
#include "taskbar_notifier.h"
#include "modal_dialog.h"

namespace orv {
class ProgramShell;
}  // namespace orv

namespace orv::notifier {

class CLumoraPopDlg final : public orv::ModalDialog {
 public:
  // The shell gives the quit message the dialog answers and the single-instance mutex, which
  // the dialog takes once its window exists.
  explicit CLumoraPopDlg(ProgramShell& shell);

  // The result of a second copy's dialog: it ended in its initialisation, before any icon or pipe.
  static constexpr INT_PTR kAnotherCopyRuns = -2;
  static constexpr std::size_t kToastSlots = 10;
  // Extended styles removed so that the dialog never appears on the taskbar.
  static constexpr LONG_PTR kHiddenExStyleMask = 0x00C40080;

  HWND hwnd() const { return hwnd_; }

 private:
  INT_PTR OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void AddTrayIcon();
  void HideForGood();
  void OnTrayCallback(LPARAM mouseMessage);
  void ShowTrayMenu();
  bool OnCommand(WORD id);
  void OnGuardedAbout();
  void ShowAboutBox();
  LRESULT OnDeviceChange(WPARAM eventCode, LPARAM record);

  ProgramShell& shell_;
  HICON icon_ = nullptr;      // shared resource icon: never destroyed
  HICON trayIcon_ = nullptr;  // the same, at the small-icon size
  UINT taskbarCreated_ = 0;
  std::array<CTaskbarNotifier, kToastSlots> toasts_;
  orv::DeviceNotifications notifications_;
  bool aboutGuard_ = false;
  orv::PipeServerThread pipe_;  // stopped when the dialog goes
};

// The version text the About box shows (the installed version, or the fallback text).
const std::wstring& notifierVersionText();

}  // namespace orv::notifier
