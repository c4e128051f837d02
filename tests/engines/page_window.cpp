#include "page_window.h"

namespace orv::test {

namespace {
std::atomic<HWND> g_pageWindow{nullptr};
const wchar_t kClassName[] = L"OrvEnginesTestPageWindow";
}  // namespace

PageWindow::PageWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = windowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  ::RegisterClassW(&wc);
  hwnd_ = ::CreateWindowExW(0, kClassName, L"page", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                            nullptr, wc.hInstance, this);
  g_pageWindow = hwnd_;
}

PageWindow::~PageWindow() {
  g_pageWindow = nullptr;
  if (hwnd_) ::DestroyWindow(hwnd_);
}

std::vector<PageCall> PageWindow::calls() const {
  std::lock_guard<std::mutex> g(mutex_);
  return calls_;
}

bool PageWindow::pumpUntil(HANDLE handle, DWORD limitMs) {
  DWORD start = ::GetTickCount();
  for (;;) {
    DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= limitMs) return false;
    DWORD r = ::MsgWaitForMultipleObjects(1, &handle, FALSE, limitMs - elapsed, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

int PageWindow::CallJsFunc(const char* function, const char* argument) {
  // Sent, not posted: both texts stay valid until the window has handled them.
  ::SendMessageW(g_pageWindow.load(), kPageCallMessage, reinterpret_cast<WPARAM>(function),
                 reinterpret_cast<LPARAM>(argument));
  return 1;
}

LRESULT CALLBACK PageWindow::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<PageWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == kPageCallMessage && self) {
    PageCall call;
    const char* f = reinterpret_cast<const char*>(wp);
    const char* a = reinterpret_cast<const char*>(lp);
    call.function = f ? f : "<null>";
    call.argument = a ? a : "<null>";
    call.thread = ::GetCurrentThreadId();
    {
      std::lock_guard<std::mutex> g(self->mutex_);
      self->calls_.push_back(call);
    }
    if (self->onCall) self->onCall(call);
    return 1;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace orv::test
