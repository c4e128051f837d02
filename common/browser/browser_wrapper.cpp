#include "browser_wrapper.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace orv {
namespace {

// The wrappers of one thread and the message hook that serves them.
struct ThreadHook {
  HHOOK hook = nullptr;
  std::vector<BrowserWrapper*> wrappers;
};
thread_local ThreadHook t_hook;

PixelRect screenClientRect(HWND hwnd) {
  RECT r = {};
  GetClientRect(hwnd, &r);
  POINT topLeft = {r.left, r.top}, bottomRight = {r.right, r.bottom};
  ClientToScreen(hwnd, &topLeft);
  ClientToScreen(hwnd, &bottomRight);
  return PixelRect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

}  // namespace

BrowserWrapper::BrowserWrapper(KeyPolicy keys, DragArea dragArea)
    : keys_(std::move(keys)), drag_(std::move(dragArea)) {}

BrowserWrapper::~BrowserWrapper() { detach(); }

void BrowserWrapper::attach(HWND browserWindow, HWND mainWindow, ActiveObjectSource active) {
  detach();
  browser_ = browserWindow;
  main_ = mainWindow;
  active_ = std::move(active);
  thread_ = GetCurrentThreadId();
  t_hook.wrappers.push_back(this);
  if (!t_hook.hook) t_hook.hook = SetWindowsHookExW(WH_GETMESSAGE, &hookProc, nullptr, thread_);
}

void BrowserWrapper::detach() {
  if (!thread_) return;
  // Only the attaching thread can reach its own hook list.
  if (thread_ == GetCurrentThreadId()) {
    auto& w = t_hook.wrappers;
    w.erase(std::remove(w.begin(), w.end(), this), w.end());
    if (w.empty() && t_hook.hook) {
      UnhookWindowsHookEx(t_hook.hook);
      t_hook.hook = nullptr;
    }
  }
  thread_ = 0;
  browser_ = main_ = nullptr;
  active_ = nullptr;
}

void BrowserWrapper::setCaptionSize(int width, int height) {
  drag_.caption = PixelRect{0, 0, width, height};
}

bool BrowserWrapper::covers(HWND hwnd) const {
  return browser_ && hwnd && (hwnd == browser_ || IsChild(browser_, hwnd));
}

bool BrowserWrapper::isDragPress(const MSG& msg) const {
  POINT cursor = {};
  if (!GetCursorPos(&cursor)) return false;
  return orv::isDragPress(drag_, PixelPoint{cursor.x, cursor.y}, screenClientRect(browser_),
                          PixelPoint{msg.pt.x, msg.pt.y});
}

bool BrowserWrapper::preTranslate(const MSG& msg) {
  if (dropsMessage(keys_, msg.message, msg.wParam, GetKeyState(VK_CONTROL) < 0)) return true;
  if (msg.message == WM_LBUTTONDOWN && isDragPress(msg)) {
    // The window moves with the mouse as if its caption had been pressed.
    SendMessageW(main_, WM_NCLBUTTONDOWN, HTCAPTION, msg.lParam);
    return true;
  }
  IOleInPlaceActiveObject* active = active_ ? active_() : nullptr;
  if (active && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
    MSG copy = msg;
    return active->TranslateAccelerator(&copy) == S_OK;
  }
  return false;
}

LRESULT CALLBACK BrowserWrapper::hookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    // A copy of the list: a handler may attach or detach wrappers.
    const std::vector<BrowserWrapper*> wrappers = t_hook.wrappers;
    for (BrowserWrapper* w : wrappers) {
      if (w->covers(msg->hwnd) && w->preTranslate(*msg)) {
        msg->message = WM_NULL;
        break;
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace orv
