#pragma once
// CBrenlowApp: the updater's application object. Its initialisation reads the options, keeps the
// updater to one running copy, and runs the main dialog, which shows the embedded page and
// starts the update flow.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "browser/browser_host.h"
#include "update_flow_seam.h"
#include "win/scoped_handle.h"

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

class CBrenlowApp {
 public:
  explicit CBrenlowApp(BrenlowParts parts);
  ~CBrenlowApp();
  CBrenlowApp(const CBrenlowApp&) = delete;
  CBrenlowApp& operator=(const CBrenlowApp&) = delete;

  // The whole start-up and, when this copy runs, the main dialog's run. Always reports failure
  // (FALSE): the program ends as soon as it returns.
  BOOL InitInstance();

  UINT quitMessage() const { return quitMessage_; }
  CCoreImpIDispatch* external() const { return external_.get(); }
  CBrenlowDlg* mainWindow() const { return mainWindow_; }

 private:
  void RemoveOldFile();
  void CallPage(const std::wstring& function, const std::wstring& argument);

  BrenlowParts parts_;
  std::vector<std::wstring> tokens_;
  UINT quitMessage_ = 0;
  ScopedHandle mutex_;  // kept open for the life of the process
  std::unique_ptr<UpdateFlow> flow_;
  std::unique_ptr<DesktopCopy> desktopCopy_;
  // Declared before the manager, which holds a reference to it: deleted after it.
  std::unique_ptr<CCoreImpIDispatch> external_;
  std::unique_ptr<CCoreCustomOccManager> controls_;
  CBrenlowDlg* mainWindow_ = nullptr;
};

}  // namespace orv::updater
