#pragma once
// CBrenlowDlg: the updater's only window, a small frameless dialog showing the embedded page.
// It stays hidden until the update flow shows it, calls the page's functions for the flow's
// threads (the page-call message), and starts the flow once the page is loading.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "browser_host.h"
#include "explorer.h"
#include "js_call.h"
#include "update_flow_seam.h"
#include "modal_dialog.h"
#include "scoped_com.h"
#include "scoped_handle.h"

namespace orv {
class CCoreCustomOccManager;
}  // namespace orv

namespace orv::updater {

// Window message through which any thread has a page function called on the dialog's thread:
// wParam the function name, lParam the argument (both UTF-16 texts).
constexpr UINT WM_UPDATER_CALLJS = WM_USER + 1000;  // 2024

// The page's place and size in pixels.
constexpr int kPageWidth = 650;
constexpr int kPageHeight = 150;
// The show operation's code.
constexpr int kShowCode = 5;
// How long the set-up waits for the page's document before it ends quietly.
constexpr unsigned long kPageDocumentWaitMs = 15000;

class CBrenlowDlg final : public ModalDialog, public UpdaterWindow {
 public:
  CBrenlowDlg(const std::vector<std::wstring>& tokens, UINT quitMessage,
              BrowserFactory browserFactory, const CCoreCustomOccManager& controls,
              std::wstring pageAddress, UpdateFlow& flow);
  ~CBrenlowDlg() override;

  // The result of a dialog whose set-up failed (it was never shown).
  static constexpr INT_PTR kSetupFailed = -2;

  // UpdaterWindow
  HWND hwnd() const override { return hwnd_; }
  const std::vector<std::wstring>& arguments() const override { return tokens_; }
  HANDLE pageReadyEvent() const override { return pageReady_.get(); }
  void show(int showCode) override;
  LRESULT callPage(const std::wstring& function, const std::wstring& argument) override;

  bool visible() const { return visible_.load(); }

 private:
  INT_PTR OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool SetUp();
  bool CreateBrowser();
  void SizeAndCentre();
  LRESULT CallPageFunction(const wchar_t* function, const wchar_t* argument);
  // A close asked while the setup program runs waits for it, and the page says so; true then.
  bool HoldCloseForSetup();

  std::vector<std::wstring> tokens_;
  UINT quitMessage_;
  BrowserFactory browserFactory_;
  const CCoreCustomOccManager& controls_;
  std::wstring pageAddress_;
  UpdateFlow& flow_;
  std::unique_ptr<BrowserHost> browser_;
  CExplorer explorer_;
  CJsCall jsCall_;
  ComPtr<IDispatch> document_;
  ScopedHandle pageReady_;
  HICON icon_ = nullptr;
  std::atomic<bool> visible_{false};
};

}  // namespace orv::updater
