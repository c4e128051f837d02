// Stands in for the core host and for a fetched setup program: writes its command line to
// "ran.txt" in its folder, and its parent process and current folder to "started.txt"; while
// "stay.txt" lies there, stays alive (at most 60 s) so that a test can find and stop it, or let it
// end by removing the file; ends with exit code 0, or with the number in "exit.txt" there (a setup
// program that failed). It has no version resource. Its folder is the one beside itself, but for a
// setup program (run from a folder of the updater's own, made new for each attempt), which takes
// ORV_SETUP_STAND_IN_FOLDER when set.
#include <windows.h>

#include <cstdlib>

#include "command_line_record.h"
#include "process_util.h"

namespace {

std::wstring recordFolder() {
  const std::wstring path = orv::modulePath();
  wchar_t folder[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"ORV_SETUP_STAND_IN_FOLDER", folder, MAX_PATH);
  const std::wstring suffix = L"Setup.exe";  // the product's installer: <id>Setup.exe
  const bool setup = path.size() >= suffix.size() &&
                     path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
  if (!setup || n == 0 || n >= MAX_PATH) return orv::moduleDirectory();
  return std::wstring(folder, n) + L"\\";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring folder = recordFolder();
  orv::test::recordStart(L"started.txt", folder);
  orv::test::recordCommandLine(L"ran.txt", folder);
  for (int i = 0;
       i < 600 && GetFileAttributesW((folder + L"stay.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
       ++i)
    Sleep(100);
  char code[16] = {};
  DWORD read = 0;
  orv::ScopedHandle exitFile(CreateFileW((folder + L"exit.txt").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (exitFile) ReadFile(exitFile.get(), code, sizeof(code) - 1, &read, nullptr);
  return std::atoi(code);
}
