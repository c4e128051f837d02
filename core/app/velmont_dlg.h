#pragma once
// CVelmontDlg: the core host's main dialog. It loads the Lua configuration, sizes itself from it,
// opens the entry page in the browser the application's factory creates, bridges the page to
// Lua, forwards timer ticks and device events to the scripts, starts the command pipe and
// answers the single-instance message of running copies.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "browser_host.h"
#include "explorer_core.h"
#include "pipe_server.h"
#include "modal_dialog.h"
#include "scoped_com.h"

class LuaObject;
class luaFactory;
namespace orv {
class CCoreCustomOccManager;
}  // namespace orv

namespace orv::core {

class ScriptEvents;

// Window message through which any thread has the page's JavaScript called on the dialog's
// thread: wParam the function name, lParam the argument (both narrow).
constexpr UINT WM_CORE_CALLJS = WM_USER + 1000;  // 2024

class CVelmontDlg final : public orv::ModalDialog {
 public:
  CVelmontDlg(const std::vector<std::wstring>& tokens, UINT singleInstanceMessage,
              orv::BrowserFactory browserFactory, const orv::CCoreCustomOccManager& controls);
  ~CVelmontDlg() override;

  // The result of a dialog whose set-up failed (it was never shown).
  static constexpr INT_PTR kSetupFailed = -2;
  // The browser window's control id.
  static constexpr int kBrowserControlId = 1000;

  HWND hwnd() const { return hwnd_; }
  LuaObject* engine() const { return engine_; }
  bool ownKeyOption() const;

 private:
  INT_PTR OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool SetUp();
  void OnSingleInstanceMessage(WPARAM wParam, LPARAM lParam);
  void OnDestroy();
  bool CreateBrowser();
  bool CreateEngine();
  bool SizeWindowAndOpenEntryPage();
  bool OpenJavaScriptBridge();
  void StartNotifier();

  std::vector<std::wstring> tokens_;
  UINT singleInstanceMessage_;
  orv::BrowserFactory browserFactory_;
  const orv::CCoreCustomOccManager& controls_;
  std::unique_ptr<orv::BrowserHost> browser_;
  CExplorer_core explorer_;
  orv::ComPtr<IDispatch> document_;  // held for the rest of the run once the bridge has it
  HICON icon_ = nullptr;
  // The engine library's factory; closing it closes the engine.
  struct FactoryRelease {
    void operator()(luaFactory* factory) const;
  };
  std::unique_ptr<luaFactory, FactoryRelease> factory_;
  LuaObject* engine_ = nullptr;
  std::unique_ptr<orv::core::ScriptEvents> events_;
  std::wstring entryUrl_;
  // The command pipe's server: stopped before the engine it calls goes.
  orv::PipeServerThread pipe_;
};

// The version text the About box shows (the settings' "Version", or the fallback text).
const std::wstring& coreVersionText();

}  // namespace orv::core
