#pragma once
// CLumoraPopApp: the tray notifier's application object. Its initialisation reads the command
// line, answers "-t" by asking running copies to end, and runs the hidden main dialog.
#include <windows.h>

#include <string>
#include <vector>

#include "win/scoped_handle.h"

class CLumoraPopDlg;

class CLumoraPopApp {
 public:
  CLumoraPopApp() = default;
  CLumoraPopApp(const CLumoraPopApp&) = delete;
  CLumoraPopApp& operator=(const CLumoraPopApp&) = delete;

  // The whole start-up and the main dialog's run. Always reports failure (FALSE), so that the
  // program ends as soon as it returns.
  BOOL InitInstance();

  UINT quitMessage() const { return quitMessage_; }
  const std::vector<std::wstring>& tokens() const { return tokens_; }
  CLumoraPopDlg* mainWindow() const { return mainWindow_; }
  // True when the main dialog exists and is visible (it never is, by design).
  bool mainWindowVisible() const;

  // Creates the single-instance mutex and keeps it for the life of the process. False when
  // another copy holds it.
  bool TakeSingleInstanceMutex();

  // The framework profile key name; nothing is stored there.
  static const wchar_t* const kRegistryKeyName;

 private:
  std::vector<std::wstring> tokens_;
  UINT quitMessage_ = 0;
  orv::ScopedHandle mutex_;
  CLumoraPopDlg* mainWindow_ = nullptr;
};
