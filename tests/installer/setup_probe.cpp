// Test helper for the installer's life steps:
//   setup_probe sddl PATH                  prints the owner and DACL of the folder PATH (itself,
//                                          never what a link names) as SDDL; exit code 1 when
//                                          they cannot be read
//   setup_probe mutex NAME MARKER RELEASE  holds the named mutex as a running installer does,
//                                          creates MARKER once it is held and lets go when RELEASE
//                                          exists (after 5 minutes at the latest)
//   setup_probe entry VALUE                runs the command line of the product's programs-list
//                                          entry's VALUE (UninstallString, ...) as it stands, as
//                                          the system's programs list does, and waits for it: its
//                                          exit code (100 when it cannot be read or started)
#include <windows.h>

#include <cstdio>
#include <string>

#include "admin_folder.h"
#include "product.h"
#include "reg_key.h"
#include "scoped_handle.h"

namespace {

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

int printSddl(const wchar_t* path) {
  const orv::ScopedHandle folder(CreateFileW(
      path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const std::wstring sddl = folder ? orv::securitySddl(folder.get()) : std::wstring();
  if (sddl.empty()) return 1;
  std::printf("%ls\n", sddl.c_str());
  return 0;
}

int holdMutex(const wchar_t* name, const wchar_t* marker, const wchar_t* release) {
  const orv::ScopedHandle mutex(CreateMutexW(nullptr, FALSE, name));
  if (!mutex) return 1;
  const orv::ScopedHandle made(
      CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  for (int i = 0; i < 3000 && !exists(release); ++i) Sleep(100);
  return 0;
}

int runEntry(const wchar_t* value) {
  const std::wstring path =
      std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + orv::kProductId;
  orv::RegKey key;
  std::wstring command;
  if (key.open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WOW64_32KEY) != ERROR_SUCCESS ||
      !key.readAnyText(value, &command))
    return 100;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return 100;
  const orv::ScopedHandle thread(pi.hThread), process(pi.hProcess);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 100;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"sddl" && argc == 3) return printSddl(argv[2]);
  if (mode == L"mutex" && argc == 5) return holdMutex(argv[2], argv[3], argv[4]);
  if (mode == L"entry" && argc == 3) return runEntry(argv[2]);
  return 2;
}
