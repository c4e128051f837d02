#pragma once
// CVelmontApp: the core host's application object. Its start-up decides, before any window
// exists, whether this process is the one that runs; its run is the main dialog's.
#include <windows.h>

#include <memory>

#include "browser_host.h"
#include "program_shell.h"

namespace orv {
class CCoreCustomOccManager;
class ProductKey;
}  // namespace orv

namespace orv::core {

class CCoreImpIDispatch;
class CVelmontDlg;

class CVelmontApp final : public DialogProgram {
 public:
  explicit CVelmontApp(BrowserFactory browserFactory);
  ~CVelmontApp();

  // The options, the single instance, the installation check and the updater's start; "run"
  // when this copy goes on to its main dialog.
  StartResult InitInstance() override;
  // The main dialog's modal run, then OLE's end.
  void Run() override;

  // Restart-manager support: restart only.
  static constexpr DWORD kRestartManagerSupportFlags = 1;

 private:
  StartResult ApplyOptions();
  void RegisterForRestart();

  BrowserFactory browserFactory_;
  ProgramShell shell_;
  std::unique_ptr<ProductKey> productKey_;
  // Declared before the manager, which holds a reference to it: deleted after it.
  std::unique_ptr<CCoreImpIDispatch> external_;
  std::unique_ptr<CCoreCustomOccManager> controls_;
  CVelmontDlg* mainWindow_ = nullptr;
};

}  // namespace orv::core
