#include "lumora_pop_app.h"

#include <commctrl.h>

#include "command_line.h"
#include "lumora_pop_dlg.h"
#include "notifier_rules.h"
#include "product.h"
#include "single_instance.h"

const wchar_t* const CLumoraPopApp::kRegistryKeyName = orv::kProfileKeyName;

BOOL CLumoraPopApp::InitInstance() {
  const wchar_t* commandLine = GetCommandLineW();
  if (!commandLine || !*commandLine) return FALSE;
  orv::splitCommandLine(commandLine, tokens_);

  quitMessage_ = orv::registerInstanceMessage(orv::kNotifierInstanceMessageName);
  if (quitMessage_ == 0) return FALSE;
  if (orv::hasQuitOption(tokens_)) {
    orv::broadcastInstanceMessage(quitMessage_, orv::kInstanceQuitRequest);
    return FALSE;
  }

  INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
  InitCommonControlsEx(&controls);

  {
    CLumoraPopDlg dialog(*this);
    mainWindow_ = &dialog;
    dialog.DoModal();
    mainWindow_ = nullptr;
  }  // the dialog's notifications and toast slots go here
  return FALSE;
}

bool CLumoraPopApp::mainWindowVisible() const {
  return mainWindow_ && mainWindow_->hwnd() && IsWindowVisible(mainWindow_->hwnd());
}

bool CLumoraPopApp::TakeSingleInstanceMutex() {
  mutex_ = orv::takeInstanceMutex(orv::kNotifierMutexName);
  return mutex_.valid();
}
