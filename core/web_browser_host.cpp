#include "web_browser_host.h"

#include "browser/control_site.h"

namespace orv {
namespace {

class WebBrowserHost final : public BrowserHost {
 public:
  explicit WebBrowserHost(std::unique_ptr<HostedWebBrowser> browser) : browser_(std::move(browser)) {}

  HWND window() const override { return browser_->window(); }
  IOleInPlaceActiveObject* activeObject() const override { return browser_->site()->activeObject(); }
  void place(const RECT& rect) override { browser_->place(rect); }
  bool navigate(const std::wstring& url) override {
    return browser_->navigate2(url, kEntryNavigateFlags);
  }
  ComPtr<IDispatch> document() override { return browser_->document(); }

 private:
  std::unique_ptr<HostedWebBrowser> browser_;
};

}  // namespace

std::unique_ptr<BrowserHost> createWebBrowserHost(HWND dialog, const CCoreCustomOccManager& controls) {
  // BeforeNavigate2 is sunk and left without action: every navigation proceeds.
  HostedWebBrowser::Events events;
  events.beforeNavigate2 = [] {};
  const RECT initial = {0, 0, 0, 0};  // the configuration sizes it
  std::unique_ptr<HostedWebBrowser> browser = controls.createWebBrowser(dialog, initial, std::move(events));
  if (!browser) return nullptr;
  return std::make_unique<WebBrowserHost>(std::move(browser));
}

}  // namespace orv
