// The updater's test build: the shipped application and dialog code with the stand-in page in
// place of the WebBrowser control, which this system cannot render. The page is the file
// "updater_page.html" in the program's folder, written by the test. With a "flow_probe.txt"
// there, a probe stands in for the update flow.
#include <windows.h>

#include "brenlow_app.h"
#include "placeholder_parts.h"
#include "probe_flow.h"
#include "process_util.h"
#include "stand_in_page.h"

namespace {

std::wstring standInPageAddress() { return orv::moduleDirectory() + L"updater_page.html"; }

std::unique_ptr<orv::updater::UpdateFlow> testUpdateFlow() {
  if (orv::test::probeScriptPresent()) return orv::test::createProbeFlow();
  return orv::updater::createIdleUpdateFlow();
}

orv::updater::CBrenlowApp theApp({&orv::test::createStandInPage, &standInPageAddress,
                                  &testUpdateFlow, &orv::updater::createIdleDesktopCopy});
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  theApp.InitInstance();
  return 0;
}
