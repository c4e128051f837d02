#include "lumora_pop_app.h"

#include "log_file.h"
#include "log_rules.h"
#include "lumora_pop_dlg.h"
#include "notifier_rules.h"
#include "product.h"

namespace orv::notifier {

CLumoraPopApp::CLumoraPopApp() : shell_({kNotifierInstanceMessageName, kNotifierMutexName}) {}

StartResult CLumoraPopApp::InitInstance() {
  // The dialog admits the quit message for its own window.
  if (shell_.begin(ProgramShell::Admission::kByWindow, ProgramShell::WithoutTokens::kGoOn) ==
      StartResult::kEnd)
    return StartResult::kEnd;
  // It runs as the user: its log is the user's own.
  openProgramLog(LogPlace::kUser, kNotifierFileName);
  logLine(L"-", L"start, options " + loggedOptions(shell_.tokens()));
  if (hasQuitOption(shell_.tokens())) return shell_.closeRunningCopies();
  shell_.prepareWindows(ProgramShell::Ole::kWithout);
  return StartResult::kRun;
}

void CLumoraPopApp::Run() {
  CLumoraPopDlg dialog(shell_);
  dialog.DoModal();
  // The dialog's device notifications and toast slots go with it, here.
}

}  // namespace orv::notifier
