// The core host's test build: the shipped application and dialog code with the stand-in page in
// place of the WebBrowser control, which this system cannot render.
#include <windows.h>

#include "log_file.h"
#include "stand_in_page.h"
#include "velmont_app.h"

namespace {
orv::core::CVelmontApp theApp(&orv::test::createStandInPage);
}  // namespace

// Wine keeps no security descriptors: the log's folder reads back as owned by this user.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  orv::setLogFolderOwnersForTesting(orv::FolderOwners::kAdministratorsOrOwnUser);
  return orv::runProgram(theApp);
}
