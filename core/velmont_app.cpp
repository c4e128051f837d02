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
#include "start_rules.h"
#include "velmont_dlg.h"

const wchar_t CVelmontApp::kRegistryKeyName[] = L"应用程序向导生成的本地应用程序";

namespace {
using ChangeWindowMessageFilterFn = BOOL(WINAPI*)(UINT, DWORD);
using RegisterApplicationRestartFn = HRESULT(WINAPI*)(PCWSTR, DWORD);
constexpr DWORD kMessageFilterAdd = 1;  // MSGFLT_ADD
}  // namespace

CVelmontApp::CVelmontApp(orv::BrowserFactory browserFactory) : browserFactory_(browserFactory) {}

CVelmontApp::~CVelmontApp() = default;

BOOL CVelmontApp::InitInstance() {
  const wchar_t* commandLine = GetCommandLineW();
  if (!commandLine || !*commandLine) return FALSE;
  orv::splitCommandLine(commandLine, tokens_);

  if (!RegisterSingleInstanceMessage()) {
    MessageBoxW(nullptr, L"Can not initialize.", orv::kProductName, MB_OK | MB_ICONHAND);
    return FALSE;
  }
  AdmitSingleInstanceMessage();

  for (orv::OptionStep step : orv::optionSteps(tokens_)) {
    if (step == orv::OptionStep::CloseRunningCopies) {
      PostMessageW(HWND_BROADCAST, singleInstanceMessage_, orv::kInstanceQuit, 0);
      return FALSE;
    }
    orv::writeFirstRunFlag(orv::kProductId);  // silent on failure
  }

  if (!TakeSingleInstanceMutex()) {
    PostMessageW(HWND_BROADCAST, singleInstanceMessage_, orv::kInstanceActivate,
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

  OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
  InitCommonControlsEx(&controls);
  RegisterForRestart();
  // The page reaches the main window and its engine through window.external, whichever dialog
  // is the main window at the time of the call.
  external_ = std::make_unique<CCoreImpIDispatch>(
      [this]() -> HWND { return mainWindow_ ? mainWindow_->hwnd() : nullptr; },
      [this]() -> LuaObject* { return mainWindow_ ? mainWindow_->engine() : nullptr; });
  controls_ = std::make_unique<orv::CCoreCustomOccManager>(external_.get());

  {
    CVelmontDlg dialog(tokens_, singleInstanceMessage_, browserFactory_, *controls_);
    mainWindow_ = &dialog;
    dialog.DoModal();
    mainWindow_ = nullptr;
  }
  controls_.reset();
  OleUninitialize();
  productKey_.reset();
  return FALSE;
}

bool CVelmontApp::RegisterSingleInstanceMessage() {
  singleInstanceMessage_ = RegisterWindowMessageW(orv::kSingleInstanceMessageName);
  return singleInstanceMessage_ != 0;
}

void CVelmontApp::AdmitSingleInstanceMessage() {
  // From Vista on, a program running with fewer rights may not post to this one unless the
  // message is admitted. Looked up at run time: the function does not exist before Vista.
  orv::OSVersion version;
  if (!version.isVistaOrLater()) return;
  orv::ScopedLibrary user32(LoadLibraryW(L"USER32.Dll"));
  if (!user32) return;
  auto change = reinterpret_cast<ChangeWindowMessageFilterFn>(
      reinterpret_cast<void*>(GetProcAddress(user32.get(), "ChangeWindowMessageFilter")));
  if (change) change(singleInstanceMessage_, kMessageFilterAdd);
}

bool CVelmontApp::TakeSingleInstanceMutex() {
  HANDLE mutex = CreateMutexW(orv::processSecurityAttributes().forCreate(), FALSE,
                              orv::kSingleInstanceMutexName);
  const DWORD error = GetLastError();
  mutex_.reset(mutex);
  if (!mutex_ || error == ERROR_ALREADY_EXISTS) {
    mutex_.reset();
    return false;
  }
  return true;
}

void CVelmontApp::RegisterForRestart() {
  if (!(kRestartManagerSupportFlags & 1)) return;
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto registerRestart = kernel ? reinterpret_cast<RegisterApplicationRestartFn>(
                                      reinterpret_cast<void*>(
                                          GetProcAddress(kernel, "RegisterApplicationRestart")))
                                : nullptr;
  if (registerRestart) registerRestart(L"", 0);
}
