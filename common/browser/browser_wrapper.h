#pragma once
// Pre-translation of the messages aimed at a hosted browser, before the browser sees them:
// blocked keys, no Control+wheel zoom, and presses in the caption band turned into a window move.
// It works under any message loop (the dialogs' own modal loops included) through a per-thread
// message hook.
#include <windows.h>
#include <oleidl.h>

#include <functional>

#include "drag_area.h"
#include "key_filter.h"

namespace orv {

class BrowserWrapper {
 public:
  // Where the wrapper finds the control's in-place active object at the time of a key message:
  // the control names it to its site only once it is active, which may be after attach().
  using ActiveObjectSource = std::function<IOleInPlaceActiveObject*()>;

  BrowserWrapper(KeyPolicy keys, DragArea dragArea);
  virtual ~BrowserWrapper();
  BrowserWrapper(const BrowserWrapper&) = delete;
  BrowserWrapper& operator=(const BrowserWrapper&) = delete;

  // Starts pre-translating the messages of `browserWindow` and of every window inside it, on the
  // calling thread. Drags move `mainWindow`. The object `active` names, when there is one, gets
  // the key messages that pass, the way a control container hands them to the control.
  void attach(HWND browserWindow, HWND mainWindow, ActiveObjectSource active = nullptr);
  void detach();

  void setCaptionSize(int width, int height);
  int captionWidth() const { return drag_.caption.right; }
  int captionHeight() const { return drag_.caption.bottom; }
  HWND window() const { return browser_; }

  // True when the message was dropped (after acting on it).
  virtual bool preTranslate(const MSG& msg);

 protected:
  bool isDragPress(const MSG& msg) const;

 private:
  static LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam);
  bool covers(HWND hwnd) const;

  KeyPolicy keys_;
  DragArea drag_;
  HWND browser_ = nullptr;
  HWND main_ = nullptr;
  ActiveObjectSource active_;
  DWORD thread_ = 0;
};

}  // namespace orv
