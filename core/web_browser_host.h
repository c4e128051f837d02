#pragma once
// The shipped program's browser: the WebBrowser control hosted in the main dialog.
#include "browser_host.h"

namespace orv {

std::unique_ptr<BrowserHost> createWebBrowserHost(HWND dialog);

}  // namespace orv
