// The core host's test build: the shipped application and dialog code, with the test's browser.
#include <windows.h>

#include "velmont_app.h"

namespace {

// The dialog comes up without a page for now; tests substitute their browser here.
std::unique_ptr<orv::BrowserHost> createTestBrowser(HWND) { return nullptr; }

CVelmontApp theApp(&createTestBrowser);

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  theApp.InitInstance();
  return 0;
}
