// Stands in for the core host in the notifier's tests: appends its command line and its current
// folder (UTF-16, "<command line>|<folder>" on one line) to "core-calls.txt" beside itself, then
// ends.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring record(path);
  record = record.substr(0, record.rfind(L'\\') + 1) + L"core-calls.txt";
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const std::wstring line = std::wstring(GetCommandLineW()) + L"|" + folder + L"\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
  }
  return 0;
}
