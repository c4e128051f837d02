// Stands in for the updater in the core host's tests: appends its command line (UTF-16, one line)
// to "updater-calls.txt" beside itself, then stays alive until the test sets its release event,
// so that the test can find it as the core host's child.
#include <windows.h>

#include "command_line_record.h"
#include "scoped_handle.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  orv::test::recordCommandLine(L"updater-calls.txt");
  const orv::ScopedHandle release(
      OpenEventW(SYNCHRONIZE, FALSE, L"OrvalinexStandInUpdaterRelease"));
  if (release.valid()) WaitForSingleObject(release.get(), 120000);
  return 0;
}
