#pragma once
// The shipped programs' browser: the WebBrowser control hosted in the main dialog by the
// application's control-container manager.
#include "browser_host.h"

namespace orv {

// Navigate2 flags of the core host's entry page: navNoHistory | navNoReadFromCache |
// navNoWriteToCache.
constexpr long kEntryNavigateFlags = 14;

std::unique_ptr<BrowserHost> createWebBrowserHost(HWND dialog,
                                                  const CCoreCustomOccManager& controls,
                                                  const BrowserOptions& options);

}  // namespace orv
