#include "stand_in_window.h"

#include "script_events.h"

namespace orv::test {

namespace {
const wchar_t kClassName[] = L"OrvCoreEventsStandIn";
}

StandInWindow::StandInWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = windowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  ::RegisterClassW(&wc);  // fails harmlessly when already registered
  hwnd_ = ::CreateWindowExW(0, kClassName, L"stand-in main window", WS_OVERLAPPEDWINDOW, 100, 100,
                            400, 300, nullptr, nullptr, wc.hInstance, this);
}

StandInWindow::~StandInWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK StandInWindow::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<StandInWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    switch (msg) {
      case WM_DEVICECHANGE:
        if (self->events_) return self->events_->onDeviceChange(wp, lp);
        return TRUE;
      case WM_TIMER:
        ++(wp == 1 ? self->timer1_ : self->timer2_);
        if (self->events_) self->events_->onTimer(wp);
        break;
      case WM_QUIT:
        ++self->quits_;
        return 0;
      case WM_DESTROY:
        if (self->events_) self->events_->onDestroy(hwnd);
        break;
      default:
        break;
    }
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

bool StandInWindow::pumpUntil(const std::function<bool()>& done, DWORD limitMs) {
  const ULONGLONG deadline = ::GetTickCount64() + limitMs;
  for (;;) {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
    if (done()) return true;
    if (::GetTickCount64() >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

void StandInWindow::pumpFor(DWORD ms) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  pumpUntil([end] { return ::GetTickCount64() >= end; }, ms + 1000);
}

}  // namespace orv::test
