#include "web_browser_host.h"

#include "control_site.h"
#include "page_address.h"

namespace orv {
namespace {

class WebBrowserHost final : public BrowserHost {
 public:
  WebBrowserHost(std::unique_ptr<HostedWebBrowser> browser, const BrowserOptions& options)
      : browser_(std::move(browser)),
        navigateWithFlags_(options.navigateWithFlags),
        navigateFlags_(options.navigateFlags) {}

  HWND window() const override { return browser_->window(); }
  IOleInPlaceActiveObject* activeObject() const override {
    return browser_->site()->activeObject();
  }
  void place(const RECT& rect) override { browser_->place(rect); }
  bool navigate(const std::wstring& url) override {
    return navigateWithFlags_ ? browser_->navigate2(url, navigateFlags_) : browser_->navigate(url);
  }
  ComPtr<IDispatch> document() override { return browser_->document(); }

  // Right after Navigate2 the control may still hold no document, or the blank one it starts
  // with: only the document of the page asked for counts.
  ComPtr<IDispatch> waitForDocument(const std::wstring& url, unsigned long timeoutMs) override {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
      ComPtr<IDispatch> doc = browser_->document();
      if (doc && samePageAddress(url, browser_->locationUrl())) return doc;
      if (::GetTickCount64() >= deadline) return nullptr;
      // Handle what arrives (the page loads through messages of this thread), then wait a little.
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          ::PostQuitMessage(static_cast<int>(msg.wParam));
          return nullptr;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
  }

  void activate() override { browser_->uiActivate(); }

 private:
  std::unique_ptr<HostedWebBrowser> browser_;
  bool navigateWithFlags_;
  long navigateFlags_;
};

}  // namespace

std::unique_ptr<BrowserHost> createWebBrowserHost(HWND dialog,
                                                  const CCoreCustomOccManager& controls,
                                                  const BrowserOptions& options) {
  // BeforeNavigate2 is sunk and left without action: every navigation proceeds.
  HostedWebBrowser::Events events;
  events.beforeNavigate2 = [] {};
  events.documentComplete = options.documentComplete;
  const RECT initial = {0, 0, 0, 0};  // the dialog sizes it
  std::unique_ptr<HostedWebBrowser> browser =
      controls.createWebBrowser(dialog, initial, std::move(events), nullptr, options.controlId);
  if (!browser) return nullptr;
  return std::make_unique<WebBrowserHost>(std::move(browser), options);
}

}  // namespace orv
