// Stands in for the updater in the core host's tests: appends its command line (UTF-16, one line)
// to "updater-calls.txt" beside itself, then stays alive until the test sets its release event,
// so that the test can find it as the core host's child.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring record(path);
  record = record.substr(0, record.rfind(L'\\') + 1) + L"updater-calls.txt";
  HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
  }
  HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, L"OrvalinexStandInUpdaterRelease");
  if (release) {
    WaitForSingleObject(release, 120000);
    CloseHandle(release);
  }
  return 0;
}
