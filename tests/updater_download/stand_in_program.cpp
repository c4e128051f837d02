// Stands in for the core host and for a fetched setup program: writes its command line to
// "ran.txt" beside itself; when "stay.txt" lies beside it, stays alive (at most 60 s) so that a
// test can find and stop it; ends with exit code 7. It has no version resource.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder = folder.substr(0, folder.rfind(L'\\') + 1);
  HANDLE file = CreateFileW((folder + L"ran.txt").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
  }
  if (GetFileAttributesW((folder + L"stay.txt").c_str()) != INVALID_FILE_ATTRIBUTES) Sleep(60000);
  return 7;
}
