#include "program_shell.h"

#include <commctrl.h>

#include "command_line.h"
#include "dll_search.h"
#include "single_instance.h"

namespace orv {

namespace {
constexpr DWORD kAllControlClasses = 0xFF;
}  // namespace

int runProgram(DialogProgram& program) {
  // Before anything is loaded by name: the program may run elevated.
  restrictDllSearch();
  if (program.InitInstance() == StartResult::kRun) program.Run();
  return 0;
}

StartResult ProgramShell::begin(Admission admission, WithoutTokens withoutTokens) {
  if (!readProgramTokens(::GetCommandLineW(), withoutTokens == WithoutTokens::kEnd, tokens_))
    return StartResult::kEnd;
  instanceMessage_ = registerInstanceMessage(names_.instanceMessage);
  if (instanceMessage_ == 0) return StartResult::kEnd;
  if (admission == Admission::kProcess) admitInstanceMessage(instanceMessage_);
  return StartResult::kRun;
}

void ProgramShell::broadcast(WPARAM wParam, LPARAM lParam) const {
  broadcastInstanceMessage(instanceMessage_, wParam, lParam);
}

StartResult ProgramShell::closeRunningCopies() const {
  broadcast(kInstanceQuitRequest, 0);
  return StartResult::kEnd;
}

bool ProgramShell::takeInstanceMutex(SECURITY_ATTRIBUTES* security) {
  mutex_ = orv::takeInstanceMutex(names_.instanceMutex, security);
  return mutex_.valid();
}

void ProgramShell::prepareWindows(Ole ole) {
  if (ole == Ole::kWith) ole_.emplace(ScopedComInit::Kind::kOle);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), kAllControlClasses};
  ::InitCommonControlsEx(&controls);
}

}  // namespace orv
