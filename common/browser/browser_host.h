#pragma once
// The one seam through which a program's main dialog gets its browser. The shipped programs hand
// their application a factory that hosts the WebBrowser control; the test builds hand it a
// stand-in page, so that the same application and dialog code runs in both.
#include <windows.h>
#include <oaidl.h>
#include <oleidl.h>

#include <functional>
#include <memory>
#include <string>

#include "scoped_com.h"

namespace orv {

class CCoreCustomOccManager;

class BrowserHost {
 public:
  virtual ~BrowserHost() = default;
  // The browser's window inside the dialog (the one the wrapper pre-translates for), or null.
  virtual HWND window() const = 0;
  // The control's in-place active object once it has named one, else null.
  virtual IOleInPlaceActiveObject* activeObject() const { return nullptr; }
  // Gives the browser window its place in the dialog's client area (pixels).
  virtual void place(const RECT& rect) = 0;
  // Starts navigation to the entry address; false when it could not be started.
  virtual bool navigate(const std::wstring& url) = 0;
  // The Document property: the page's document, or null when there is none.
  virtual ComPtr<IDispatch> document() = 0;
  // The document of the page at `url` once it exists, handling messages while it loads, at most
  // `timeoutMs`; null when it never came. A browser whose document is there at once returns it.
  virtual ComPtr<IDispatch> waitForDocument(const std::wstring& url, unsigned long timeoutMs) {
    (void)url;
    (void)timeoutMs;
    return document();
  }
  // Gives the browser the keyboard focus once the dialog is shown (UI activation).
  virtual void activate() {}
};

// How a program hosts its browser.
struct BrowserOptions {
  int controlId = 1000;  // the browser window's control id in the dialog
  // Navigate2 with these flags (core host), or Navigate with the address alone (updater).
  bool navigateWithFlags = true;
  long navigateFlags = 14;  // navNoHistory | navNoReadFromCache | navNoWriteToCache
  // DocumentComplete of the page; may be empty.
  std::function<void()> documentComplete;
};

// Creates the browser inside the main dialog, hosted by the application's control-container
// manager (which hands the page its window.external). Null when no browser can be created: the
// dialog then ends before it is shown.
using BrowserFactory = std::unique_ptr<BrowserHost> (*)(HWND dialog,
                                                        const CCoreCustomOccManager& controls,
                                                        const BrowserOptions& options);

}  // namespace orv
