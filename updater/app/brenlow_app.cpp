#include "brenlow_app.h"

#include "brenlow_dlg.h"
#include "control_site.h"
#include "log_file.h"
#include "log_rules.h"
#include "process_util.h"
#include "product.h"
#include "self_update.h"
#include "start_options.h"
#include "updater_imp_idispatch.h"

namespace orv::updater {

namespace {

// Pages among a program's resources: this scheme, the program's full path, "/" and the name.
constexpr wchar_t kResourceScheme[] =
    L"res:"
    L"//";
constexpr wchar_t kPageResource[] = L"index.html";

}  // namespace

std::wstring resourcePageAddress() { return kResourceScheme + modulePath() + L"/" + kPageResource; }

CBrenlowApp::CBrenlowApp(BrenlowParts parts)
    : parts_(parts), shell_({kUpdaterInstanceName, kUpdaterInstanceName}) {}

CBrenlowApp::~CBrenlowApp() = default;

StartResult CBrenlowApp::InitInstance() {
  // The quit message goes through the message filter on Vista and later; a failure is ignored.
  if (shell_.begin(ProgramShell::Admission::kProcess, ProgramShell::WithoutTokens::kEnd) ==
      StartResult::kEnd)
    return StartResult::kEnd;
  // Elevated: the log is with the installation, where only administrators write.
  openProgramLog(LogPlace::kInstallation, kUpdaterFileName);
  logLine(L"-", L"start, options " + loggedOptions(shell_.tokens()) + L", from " + modulePath());

  const StartOptions options = startOptions(shell_.tokens());
  if (options.quitRunningCopies) return shell_.closeRunningCopies();
  if (options.removeOldFile > 0) waitForRetiringLoader(modulePath());
  for (int i = 0; i < options.removeOldFile; ++i) RemoveOldFile();

  // Another copy runs: this one ends without a word to it.
  if (!shell_.takeInstanceMutex()) {
    logLine(L"-", L"another copy runs: this one ends");
    return StartResult::kEnd;
  }

  shell_.prepareWindows(ProgramShell::Ole::kWith);
  flow_ = parts_.updateFlow ? parts_.updateFlow() : nullptr;
  desktopCopy_ = parts_.desktopCopy ? parts_.desktopCopy() : nullptr;
  CreateExternal();
  return StartResult::kRun;
}

void CBrenlowApp::Run() {
  if (flow_) {
    const std::wstring page = parts_.pageAddress ? parts_.pageAddress() : resourcePageAddress();
    CBrenlowDlg dialog(shell_.tokens(), shell_.instanceMessage(), parts_.browser, *controls_, page,
                       *flow_);
    mainWindow_ = &dialog;
    dialog.DoModal();
    flow_->windowClosing();
    mainWindow_ = nullptr;
  }
  // The browser's container goes before OLE does.
  controls_.reset();
  shell_.endOle();
}

// The page's window.external, and the control-site manager that hands it to the browser.
void CBrenlowApp::CreateExternal() {
  CCoreImpIDispatch::Targets targets;
  targets.mainWindow = [this]() -> HWND { return mainWindow_ ? mainWindow_->hwnd() : nullptr; };
  targets.updateFlow = [this]() -> UpdateFlow* { return flow_.get(); };
  targets.desktopCopy = [this]() -> DesktopCopy* { return desktopCopy_.get(); };
  targets.callPage = [this](const std::wstring& function, const std::wstring& argument) {
    CallPage(function, argument);
  };
  external_ = std::make_unique<CCoreImpIDispatch>(std::move(targets));
  controls_ = std::make_unique<CCoreCustomOccManager>(external_.get());
}

void CBrenlowApp::RemoveOldFile() { removeRetiredUpdater(modulePath()); }

void CBrenlowApp::CallPage(const std::wstring& function, const std::wstring& argument) {
  if (mainWindow_) mainWindow_->callPage(function, argument);
}

}  // namespace orv::updater
