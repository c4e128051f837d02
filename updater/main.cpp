// OrvalinexUpdate.exe: the updater program. All of its work is in the application object.
#include <windows.h>

#include "brenlow_app.h"
#include "web_browser_host.h"
#include "program_parts.h"

namespace {
// One process-wide application object, built before the entry point runs.
orv::updater::CBrenlowApp theApp({&orv::createWebBrowserHost, &orv::updater::resourcePageAddress,
                                  &orv::updater::createShippedUpdateFlow,
                                  &orv::updater::createDesktopCopy});
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return orv::runProgram(theApp); }
