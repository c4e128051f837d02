#include "velmont_app.h"

#include "control_site.h"
#include "core_imp_idispatch.h"
#include "integrity_check.h"
#include "log_file.h"
#include "log_rules.h"
#include "process_util.h"
#include "product.h"
#include "product_key.h"
#include "security_attributes.h"
#include "start_rules.h"
#include "velmont_dlg.h"

namespace orv::core {

namespace {
using RegisterApplicationRestartFn = HRESULT(WINAPI*)(PCWSTR, DWORD);
}  // namespace

CVelmontApp::CVelmontApp(BrowserFactory browserFactory)
    : browserFactory_(browserFactory), shell_({kCoreInstanceMessageName, kCoreInstanceMutexName}) {}

CVelmontApp::~CVelmontApp() = default;

StartResult CVelmontApp::InitInstance() {
  if (shell_.begin(ProgramShell::Admission::kProcess, ProgramShell::WithoutTokens::kGoOn) ==
      StartResult::kEnd)
    return StartResult::kEnd;
  // It runs elevated: its log is with the installation, where only administrators write.
  openProgramLog(LogPlace::kInstallation, kCoreFileName);
  logLine(L"-", L"start, options " + loggedOptions(shell_.tokens()));
  if (ApplyOptions() == StartResult::kEnd) return StartResult::kEnd;

  if (!shell_.takeInstanceMutex(processSecurityAttributes().forCreate())) {
    logLine(L"-", L"another copy runs: asked it to show itself");
    shell_.broadcast(kInstanceActivate, hasKeyOption(shell_.tokens()) ? 1 : 0);
    return StartResult::kEnd;
  }

  productKey_ = std::make_unique<ProductKey>(kProductId);
  const std::wstring updater = updaterCommand(moduleDirectory());
  if (!verifyInstallation()) {  // the user has seen and closed the message by now
    logLine(L"-", L"the updater starts to repair: " + updater + kLostFileOption);
    launchCommandLine(updater + kLostFileOption);
    return StartResult::kEnd;
  }
  if (productKey_->readDword(L"AutoUpdate") == 1) launchCommandLine(updater);

  shell_.prepareWindows(ProgramShell::Ole::kWith);
  RegisterForRestart();
  // The page reaches the main window and its engine through window.external, whichever dialog
  // is the main window at the time of the call.
  external_ = std::make_unique<CCoreImpIDispatch>(
      [this]() -> HWND { return mainWindow_ ? mainWindow_->hwnd() : nullptr; },
      [this]() -> LuaObject* { return mainWindow_ ? mainWindow_->engine() : nullptr; });
  controls_ = std::make_unique<CCoreCustomOccManager>(external_.get());
  return StartResult::kRun;
}

void CVelmontApp::Run() {
  {
    CVelmontDlg dialog(shell_.tokens(), shell_.instanceMessage(), browserFactory_, *controls_);
    mainWindow_ = &dialog;
    dialog.DoModal();
    mainWindow_ = nullptr;
  }
  // The browser's container goes before OLE does.
  controls_.reset();
  productKey_.reset();
  shell_.endOle();
}

// Every "-new" before the first "-t" writes the first-run flag; the "-t" then closes running
// copies and ends this one.
StartResult CVelmontApp::ApplyOptions() {
  for (OptionStep step : optionSteps(shell_.tokens())) {
    if (step == OptionStep::CloseRunningCopies) return shell_.closeRunningCopies();
    writeFirstRunFlag(kProductId);  // silent on failure
  }
  return StartResult::kRun;
}

void CVelmontApp::RegisterForRestart() {
  if (!(kRestartManagerSupportFlags & 1)) return;
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto registerRestart =
      kernel ? reinterpret_cast<RegisterApplicationRestartFn>(
                   reinterpret_cast<void*>(GetProcAddress(kernel, "RegisterApplicationRestart")))
             : nullptr;
  if (registerRestart) registerRestart(L"", 0);
}

}  // namespace orv::core
