// Stands in for the core host and for a fetched setup program: writes its command line to
// "ran.txt" beside itself; when "stay.txt" lies beside it, stays alive (at most 60 s) so that a
// test can find and stop it; ends with exit code 7. It has no version resource.
#include <windows.h>

#include "command_line_record.h"
#include "process_util.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  orv::test::recordCommandLine(L"ran.txt");
  if (GetFileAttributesW((orv::moduleDirectory() + L"stay.txt").c_str()) != INVALID_FILE_ATTRIBUTES)
    Sleep(60000);
  return 7;
}
