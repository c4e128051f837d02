#include "single_instance.h"

#include "os_version.h"
#include "product.h"

namespace orv {

namespace {
using ChangeWindowMessageFilterFn = BOOL(WINAPI*)(UINT, DWORD);
using ChangeWindowMessageFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
constexpr DWORD kMessageFilterAdd = 1;    // MSGFLT_ADD
constexpr DWORD kMessageFilterAllow = 1;  // MSGFLT_ALLOW

template <typename Fn>
Fn user32Function(const ScopedLibrary& user32, const char* name) {
  return user32
             ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32.get(), name)))
             : nullptr;
}
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
  auto change = user32Function<ChangeWindowMessageFilterFn>(user32, "ChangeWindowMessageFilter");
  if (change) change(message, kMessageFilterAdd);
}

void admitWindowMessage(HWND window, UINT message) {
  if (!OSVersion().isVistaOrLater()) return;
  ScopedLibrary user32(::LoadLibraryW(L"USER32.Dll"));
  auto change =
      user32Function<ChangeWindowMessageFilterExFn>(user32, "ChangeWindowMessageFilterEx");
  if (change)
    change(window, message, kMessageFilterAllow, nullptr);
  else
    admitInstanceMessage(message);
}

ScopedHandle takeInstanceMutex(const wchar_t* name, SECURITY_ATTRIBUTES* security) {
  ScopedHandle mutex(::CreateMutexW(security, FALSE, name));
  if (::GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();
  return mutex;
}

}  // namespace orv
