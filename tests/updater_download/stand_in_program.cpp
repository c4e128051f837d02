// Stands in for the core host and for a fetched setup program: writes its command line to
// "ran.txt" beside itself; while "stay.txt" lies beside it, stays alive (at most 60 s) so that a
// test can find and stop it, or let it end by removing the file; ends with exit code 0, or with the number in "exit.txt" beside it
// (a setup program that failed). It has no version resource.
#include <windows.h>

#include <cstdlib>

#include "command_line_record.h"
#include "process_util.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  orv::test::recordCommandLine(L"ran.txt");
  const std::wstring folder = orv::moduleDirectory();
  for (int i = 0; i < 600 && GetFileAttributesW((folder + L"stay.txt").c_str()) !=
                                  INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(100);
  char code[16] = {};
  DWORD read = 0;
  orv::ScopedHandle exitFile(CreateFileW((folder + L"exit.txt").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (exitFile) ReadFile(exitFile.get(), code, sizeof(code) - 1, &read, nullptr);
  return std::atoi(code);
}
