#pragma once
// The one seam through which the main dialog gets its browser. The shipped program hands the
// application a factory that hosts the WebBrowser control; a test build hands it a stand-in, so
// that the same application and dialog code runs in both.
#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string>

namespace orv {

class BrowserHost {
 public:
  virtual ~BrowserHost() = default;
  // Gives the browser window its place in the dialog's client area (pixels).
  virtual void place(const RECT& rect) = 0;
  // The drag area the page's caption occupies, in browser-client pixels.
  virtual void setCaptionSize(int width, int height) = 0;
  // Starts navigation to the entry address; false when it could not be started.
  virtual bool navigate(const std::wstring& url) = 0;
  // The page's document with one reference added for the caller, or null.
  virtual IDispatch* document() = 0;
};

// Creates the browser inside the main dialog. Null means the program has no page host: the
// dialog then comes up without a page.
using BrowserFactory = std::unique_ptr<BrowserHost> (*)(HWND dialog);

}  // namespace orv
