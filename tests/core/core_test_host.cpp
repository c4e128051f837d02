// The core host's test build: the shipped application and dialog code with the stand-in page in
// place of the WebBrowser control, which this system cannot render.
#include <windows.h>

#include "stand_in_page.h"
#include "velmont_app.h"

namespace {
orv::core::CVelmontApp theApp(&orv::test::createStandInPage);
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return orv::runProgram(theApp); }
