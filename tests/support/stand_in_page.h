#pragma once
// The test builds' stand-in page, in place of the WebBrowser control, which this system cannot
// render. It reads the file the dialog navigates to and runs the code of its <script>
// elements in the platform's JScript engine, with `window.external` set to the application's
// external object, exactly the object a rendered page gets from the document host. Its document
// offers that engine's global object as its Script property, as a browser document does, so
// Jornet calls the page's functions. Once the dialog's message loop runs, the page's `onload`
// function is called (when it has one), and key presses that reach the browser's window go to
// its `onkeydown(code)`.
//
// Every navigation is appended to "navigate.log" in the program folder (UTF-8, one line each).
// "res://" addresses and unreadable files give no document, like the WebBrowser control here.
// The page's DocumentComplete (when the program asked for it) follows its onload.
#include <windows.h>

#include <memory>

#include "browser_host.h"

namespace orv::test {

// A BrowserFactory of the test builds.
std::unique_ptr<BrowserHost> createStandInPage(HWND dialog, const CCoreCustomOccManager& controls,
                                               const BrowserOptions& options);

}  // namespace orv::test
