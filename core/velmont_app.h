#pragma once
// CVelmontApp: the core host's application object. Its initialisation decides, before any
// window exists, whether this process is the one that runs, and then runs the main dialog.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "browser/browser_host.h"
#include "win/scoped_handle.h"

namespace orv {
class CCoreCustomOccManager;
class ProductKey;
}  // namespace orv
namespace orv::core { class CCoreImpIDispatch; }
class CVelmontDlg;

class CVelmontApp {
 public:
  explicit CVelmontApp(orv::BrowserFactory browserFactory);
  ~CVelmontApp();
  CVelmontApp(const CVelmontApp&) = delete;
  CVelmontApp& operator=(const CVelmontApp&) = delete;

  // The whole start-up and, when this copy runs, the main dialog's run. Always reports failure
  // (FALSE), so that the program ends as soon as it returns.
  BOOL InitInstance();

  UINT singleInstanceMessage() const { return singleInstanceMessage_; }
  const std::vector<std::wstring>& tokens() const { return tokens_; }
  CVelmontDlg* mainWindow() const { return mainWindow_; }

  // The framework profile key name (HKEY_CURRENT_USER\Software\...); nothing is stored there.
  static const wchar_t* const kRegistryKeyName;
  // Restart-manager support: restart only.
  static constexpr DWORD kRestartManagerSupportFlags = 1;

 private:
  bool TakeSingleInstanceMutex();
  void RegisterForRestart();

  orv::BrowserFactory browserFactory_;
  std::vector<std::wstring> tokens_;
  UINT singleInstanceMessage_ = 0;
  orv::ScopedHandle mutex_;  // kept open for the life of the process
  std::unique_ptr<orv::ProductKey> productKey_;
  // Declared before the manager, which holds a reference to it: deleted after it.
  std::unique_ptr<orv::core::CCoreImpIDispatch> external_;
  std::unique_ptr<orv::CCoreCustomOccManager> controls_;
  CVelmontDlg* mainWindow_ = nullptr;
};
