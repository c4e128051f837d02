#include "brenlow_app.h"

#include <commctrl.h>
#include <ole2.h>

#include "brenlow_dlg.h"
#include "browser/control_site.h"
#include "command_line.h"
#include "process_util.h"
#include "product.h"
#include "self_update.h"
#include "single_instance.h"
#include "start_options.h"
#include "updater_imp_idispatch.h"

namespace orv::updater {

std::wstring resourcePageAddress() { return L"res://" + modulePath() + L"/index.html"; }

CBrenlowApp::CBrenlowApp(BrenlowParts parts) : parts_(parts) {}

CBrenlowApp::~CBrenlowApp() = default;

BOOL CBrenlowApp::InitInstance() {
  const wchar_t* commandLine = GetCommandLineW();
  if (!commandLine || !splitCommandLine(commandLine, tokens_) || tokens_.empty()) return FALSE;

  quitMessage_ = registerInstanceMessage(kUpdaterInstanceName);
  if (quitMessage_ == 0) return FALSE;
  admitInstanceMessage(quitMessage_);  // Vista and later only; a failure is ignored

  const StartOptions options = startOptions(tokens_);
  if (options.quitRunningCopies) {
    broadcastInstanceMessage(quitMessage_, kInstanceQuitRequest, 0);
    return FALSE;
  }
  for (int i = 0; i < options.removeOldFile; ++i) RemoveOldFile();

  // Another copy runs: this one ends without a word to it.
  mutex_ = takeInstanceMutex(kUpdaterInstanceName);
  if (!mutex_.valid()) return FALSE;

  OleInitialize(nullptr);
  INITCOMMONCONTROLSEX common = {sizeof(common), 0xFF};
  InitCommonControlsEx(&common);

  flow_ = parts_.updateFlow ? parts_.updateFlow() : nullptr;
  desktopCopy_ = parts_.desktopCopy ? parts_.desktopCopy() : nullptr;
  CCoreImpIDispatch::Targets targets;
  targets.mainWindow = [this]() -> HWND { return mainWindow_ ? mainWindow_->hwnd() : nullptr; };
  targets.updateFlow = [this]() -> UpdateFlow* { return flow_.get(); };
  targets.desktopCopy = [this]() -> DesktopCopy* { return desktopCopy_.get(); };
  targets.callPage = [this](const std::wstring& function, const std::wstring& argument) {
    CallPage(function, argument);
  };
  external_ = std::make_unique<CCoreImpIDispatch>(std::move(targets));
  controls_ = std::make_unique<CCoreCustomOccManager>(external_.get());

  if (flow_) {
    const std::wstring page = parts_.pageAddress ? parts_.pageAddress() : resourcePageAddress();
    CBrenlowDlg dialog(tokens_, quitMessage_, parts_.browser, *controls_, page, *flow_);
    mainWindow_ = &dialog;
    dialog.DoModal();
    flow_->windowClosing();
    mainWindow_ = nullptr;
  }
  controls_.reset();
  OleUninitialize();
  return FALSE;
}

void CBrenlowApp::RemoveOldFile() { removeRetiredUpdater(modulePath()); }

void CBrenlowApp::CallPage(const std::wstring& function, const std::wstring& argument) {
  if (mainWindow_) mainWindow_->callPage(function, argument);
}

}  // namespace orv::updater
