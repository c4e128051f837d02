#include "single_instance.h"

#include "os_version.h"
#include "product.h"

namespace orv {

namespace {
using ChangeWindowMessageFilterFn = BOOL(WINAPI*)(UINT, DWORD);
constexpr DWORD kMessageFilterAdd = 1;  // MSGFLT_ADD
}  // namespace

UINT registerInstanceMessage(const wchar_t* name) {
  const UINT message = ::RegisterWindowMessageW(name);
  if (message == 0)
    ::MessageBoxW(nullptr, kCannotInitializeText, kProductName, MB_OK | MB_ICONHAND);
  return message;
}

void broadcastInstanceMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  ::PostMessageW(HWND_BROADCAST, message, wParam, lParam);
}

void admitInstanceMessage(UINT message) {
  if (!OSVersion().isVistaOrLater()) return;
  ScopedLibrary user32(::LoadLibraryW(L"USER32.Dll"));
  if (!user32) return;
  auto change = reinterpret_cast<ChangeWindowMessageFilterFn>(
      reinterpret_cast<void*>(::GetProcAddress(user32.get(), "ChangeWindowMessageFilter")));
  if (change) change(message, kMessageFilterAdd);
}

ScopedHandle takeInstanceMutex(const wchar_t* name, SECURITY_ATTRIBUTES* security) {
  ScopedHandle mutex(::CreateMutexW(security, FALSE, name));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();
  return mutex;
}

}  // namespace orv
