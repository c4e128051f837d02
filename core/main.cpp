// OrvalinexCore.exe: the core host program. All of its work is in the application object.
#include <windows.h>

#include "velmont_app.h"
#include "web_browser_host.h"

namespace {
// One process-wide application object, built before the entry point runs.
orv::core::CVelmontApp theApp(&orv::createWebBrowserHost);
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return orv::runProgram(theApp); }
