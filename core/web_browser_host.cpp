#include "web_browser_host.h"

namespace orv {

std::unique_ptr<BrowserHost> createWebBrowserHost(HWND) {
  // The WebBrowser control's hosting (document-host behaviour, drag area, blocked keys) is built
  // with the main window's browser; until then the dialog comes up without a page.
  return nullptr;
}

}  // namespace orv
