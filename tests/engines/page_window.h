#pragma once
// A real top-level window on the test's thread that handles the page-call message 2024 the way the
// core host's main window does, and the CallJsFunc callback that sends it.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace orv::test {

constexpr UINT kPageCallMessage = WM_USER + 1000;  // 2024

struct PageCall {
  std::string function;
  std::string argument;
  DWORD thread = 0;
};

class PageWindow {
 public:
  PageWindow();
  ~PageWindow();
  PageWindow(const PageWindow&) = delete;
  PageWindow& operator=(const PageWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Runs inside the 2024 handler, after the call was recorded (e.g. a nested engine call, or
  // JornetCallJsFunc).
  std::function<void(const PageCall&)> onCall;
  std::vector<PageCall> calls() const;

  // Waits for `handle` while dispatching every message of this thread (like a modal dialog's
  // loop). Returns false if it was not signalled within `limitMs` (a hang guard, not a timing).
  bool pumpUntil(HANDLE handle, DWORD limitMs = 60000);

  // The callback to register as "CallJsFunc": sends 2024 to the current window and returns 1.
  static int CallJsFunc(const char* function, const char* argument);

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<PageCall> calls_;
};

}  // namespace orv::test
