#pragma once
// CBrenlowApp: the updater's application object. Its initialisation reads the options, keeps the
// updater to one running copy, and runs the main dialog, which shows the embedded page and
// starts the update flow.
#include <windows.h>

#include <memory>
#include <string>

#include "browser_host.h"
#include "program_shell.h"
#include "update_flow_seam.h"

namespace orv {
class CCoreCustomOccManager;
}  // namespace orv

namespace orv::updater {

class CBrenlowDlg;
class CCoreImpIDispatch;

// The parts the shipped program and the test build choose differently.
struct BrenlowParts {
  BrowserFactory browser = nullptr;
  std::wstring (*pageAddress)() = nullptr;  // the address the dialog navigates to
  UpdateFlowFactory updateFlow = nullptr;
  DesktopCopyFactory desktopCopy = nullptr;
};

// The shipped page address: "res://" + the program's full path + "/index.html".
std::wstring resourcePageAddress();

class CBrenlowApp final : public DialogProgram {
 public:
  explicit CBrenlowApp(BrenlowParts parts);
  ~CBrenlowApp();

  // The options, the ".old" file of a hand-over and the single instance; "run" when this copy
  // goes on to its main dialog.
  StartResult InitInstance() override;
  // The main dialog's modal run, then OLE's end.
  void Run() override;

  UINT quitMessage() const { return shell_.instanceMessage(); }
  CCoreImpIDispatch* external() const { return external_.get(); }
  CBrenlowDlg* mainWindow() const { return mainWindow_; }

 private:
  void CreateExternal();
  void RemoveOldFile();
  void CallPage(const std::wstring& function, const std::wstring& argument);

  BrenlowParts parts_;
  ProgramShell shell_;
  std::unique_ptr<UpdateFlow> flow_;
  std::unique_ptr<DesktopCopy> desktopCopy_;
  // Declared before the manager, which holds a reference to it: deleted after it.
  std::unique_ptr<CCoreImpIDispatch> external_;
  std::unique_ptr<CCoreCustomOccManager> controls_;
  CBrenlowDlg* mainWindow_ = nullptr;
};

}  // namespace orv::updater
