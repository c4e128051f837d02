#include "velmont_app.h"

#include <commctrl.h>
#include <ole2.h>

#include "browser/control_site.h"
#include "core_imp_idispatch.h"
#include "integrity_check.h"
#include "os_version.h"
#include "process_util.h"
#include "product.h"
#include "product_key.h"
#include "command_line.h"
#include "security_attributes.h"
#include "single_instance.h"
#include "start_rules.h"
#include "velmont_dlg.h"
#include "win/scoped_com.h"

const wchar_t* const CVelmontApp::kRegistryKeyName = orv::kProfileKeyName;

namespace {
using RegisterApplicationRestartFn = HRESULT(WINAPI*)(PCWSTR, DWORD);
}  // namespace

CVelmontApp::CVelmontApp(orv::BrowserFactory browserFactory) : browserFactory_(browserFactory) {}

CVelmontApp::~CVelmontApp() = default;

BOOL CVelmontApp::InitInstance() {
  const wchar_t* commandLine = GetCommandLineW();
  if (!commandLine || !*commandLine) return FALSE;
  orv::splitCommandLine(commandLine, tokens_);

  singleInstanceMessage_ = orv::registerInstanceMessage(orv::kCoreInstanceMessageName);
  if (singleInstanceMessage_ == 0) return FALSE;
  orv::admitInstanceMessage(singleInstanceMessage_);

  for (orv::OptionStep step : orv::optionSteps(tokens_)) {
    if (step == orv::OptionStep::CloseRunningCopies) {
      orv::broadcastInstanceMessage(singleInstanceMessage_, orv::kInstanceQuit);
      return FALSE;
    }
    orv::writeFirstRunFlag(orv::kProductId);  // silent on failure
  }

  if (!TakeSingleInstanceMutex()) {
    orv::broadcastInstanceMessage(singleInstanceMessage_, orv::kInstanceActivate,
                                  orv::hasKeyOption(tokens_) ? 1 : 0);
    return FALSE;
  }

  productKey_ = std::make_unique<orv::ProductKey>(orv::kProductId);
  const std::wstring updater = orv::updaterCommand(orv::moduleDirectory());
  if (!orv::verifyInstallation()) {  // the user has seen and closed the message by now
    orv::launchCommandLine(updater + orv::kLostFileOption);
    return FALSE;
  }
  if (productKey_->readDword(L"AutoUpdate") == 1) orv::launchCommandLine(updater);

  orv::ScopedComInit ole(orv::ScopedComInit::Kind::kOle);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
  InitCommonControlsEx(&controls);
  RegisterForRestart();
  // The page reaches the main window and its engine through window.external, whichever dialog
  // is the main window at the time of the call.
  external_ = std::make_unique<orv::core::CCoreImpIDispatch>(
      [this]() -> HWND { return mainWindow_ ? mainWindow_->hwnd() : nullptr; },
      [this]() -> LuaObject* { return mainWindow_ ? mainWindow_->engine() : nullptr; });
  controls_ = std::make_unique<orv::CCoreCustomOccManager>(external_.get());

  {
    CVelmontDlg dialog(tokens_, singleInstanceMessage_, browserFactory_, *controls_);
    mainWindow_ = &dialog;
    dialog.DoModal();
    mainWindow_ = nullptr;
  }
  // The browser's container goes before OLE does.
  controls_.reset();
  productKey_.reset();
  return FALSE;
}

bool CVelmontApp::TakeSingleInstanceMutex() {
  mutex_ = orv::takeInstanceMutex(orv::kCoreInstanceMutexName,
                                  orv::processSecurityAttributes().forCreate());
  return mutex_.valid();
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
