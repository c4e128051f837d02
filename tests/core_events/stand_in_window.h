#pragma once
// A real top-level window on the test's thread that stands in for the core host's main dialog:
// its window procedure forwards WM_DEVICECHANGE and WM_TIMER to a ScriptEvents object as the
// dialog does, and records a WM_QUIT that arrives as a message (the dialog ends the process there).
#include <windows.h>

#include <atomic>
#include <functional>

namespace orv::core {
class ScriptEvents;
}

namespace orv::test {

class StandInWindow {
 public:
  StandInWindow();
  ~StandInWindow();
  StandInWindow(const StandInWindow&) = delete;
  StandInWindow& operator=(const StandInWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  void setEvents(core::ScriptEvents* events) { events_ = events; }
  int quitMessages() const { return quits_.load(); }
  int timerMessages(WPARAM id) const { return id == 1 ? timer1_.load() : timer2_.load(); }

  // Handles this thread's messages until `done` holds, checked after every message and at least
  // every 20 ms. False when `limitMs` passed first (a hang guard, not a timing).
  static bool pumpUntil(const std::function<bool()>& done, DWORD limitMs = 60000);
  // Handles this thread's messages for `ms` milliseconds.
  static void pumpFor(DWORD ms);

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
  core::ScriptEvents* events_ = nullptr;
  std::atomic<int> quits_{0};
  std::atomic<int> timer1_{0};
  std::atomic<int> timer2_{0};
};

}  // namespace orv::test
